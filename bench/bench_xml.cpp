// The XML form against two yardsticks, measured in the same run: a property set of 10^5
// entries (mixed scalars; a tenth are string lists of 5 strings) stored into a document, the
// document saved to a file, parsed again and loaded back into a property set, against
//  (a) the same element tree built, saved, parsed and read with direct libxml2 calls into a
//      std::unordered_map of values (the limit; goal: ratio <= 1.5);
//  (b) Boost.Serialization's XML archives writing and reading a std::map of variant values
//      with the same content (goal: ratio <= 0.5).
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "KstProperties.h"
#include "KstXML.h"

#ifdef KST_HAVE_BOOST_SERIALIZATION
#include <boost/archive/xml_iarchive.hpp>
#include <boost/archive/xml_oarchive.hpp>
#include <boost/serialization/map.hpp>
#include <boost/serialization/string.hpp>
#include <boost/serialization/variant.hpp>
#include <boost/serialization/vector.hpp>
#include <boost/variant.hpp>
#include <fstream>
#include <map>
#endif

namespace {

constexpr int kCount = 100000;

// CPU time of this thread: the machine is shared, and wall time would count other work.
double CpuNow() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Ours and the yardstick in alternating rounds; the best round of each.
std::pair<double, double> Alternate(const std::function<void()>& ours,
                                    const std::function<void()>& theirs, int rounds = 5) {
    double best[2] = {1e9, 1e9};
    for (int round = 0; round < rounds; ++round)
        for (int k = 0; k < 2; ++k) {
            int which = (round + k) % 2;
            double start = CpuNow();
            (which == 0 ? ours : theirs)();
            best[which] = std::min(best[which], CpuNow() - start);
        }
    return {best[0], best[1]};
}

void Report(const char* name, std::pair<double, double> t, double goal) {
    double ratio = t.first / t.second;
    std::printf("%-52s ours %.3f s CPU, yardstick %.3f s, ratio %.2f (goal <= %.1f) %s\n", name,
                t.first, t.second, ratio, goal, ratio <= goal ? "met" : "MISSED");
}

using Strings = std::vector<std::string>;
using Value = std::variant<std::string, unsigned, time_t, bool, long long, Strings>;

Value ValueOf(int i) {
    if (i % 10 == 0) {
        Strings list;
        for (int k = 0; k < 5; ++k) list.push_back("item" + std::to_string(i + k));
        return list;
    }
    switch (i % 5) {
        case 0:
            return "value" + std::to_string(i);
        case 1:
            return static_cast<unsigned>(i);
        case 2:
            return static_cast<time_t>(1700000000 + i * 61);
        case 3:
            return (i & 1) != 0;
        default:
            return static_cast<long long>(i) * 1000003LL;
    }
}

std::string KeyOf(int i) {
    return "Group.Key" + std::to_string(i);
}

CObjectP* Property(const Value& value) {
    switch (value.index()) {
        case 0:
            return new CStringP(CString(std::get<0>(value).c_str()));
        case 1:
            return new CUIntP(std::get<1>(value));
        case 2:
            return new CTimeP(CTime(std::get<2>(value)));
        case 3: {
            auto* flag = new CBoolP;
            flag->SetValue(std::get<3>(value));
            return flag;
        }
        case 4: {
            auto* number = new CInt64P;
            number->SetValue(std::get<4>(value));
            return number;
        }
        default: {
            auto* list = new CStringArrayP;
            for (const std::string& s : std::get<5>(value)) list->Add(s.c_str());
            return list;
        }
    }
}

std::string g_path;

void Ours(CPropertySet& source) {
    xmlDoc* doc = nullptr;
    {
        CXMLDocument document;
        DomCreateDocument(document.GetInterface());
        doc = *document.GetInterface();
        CXMLNode root;
        document.CreateElement("CPropertySet", root);
        DomPutDocumentElement(doc, *root.GetInterface());
        source.SerializeXML(root, true);
        DomSaveFile(doc, g_path.c_str());
    }
    DomFreeDocument(doc);
    DomLoadFile(g_path.c_str(), &doc);
    CPropertySet loaded;
    {
        CXMLNode root;
        DomGetDocumentElement(doc, root.GetInterface());
        loaded.SerializeXML(root, false);
    }
    DomFreeDocument(doc);
    if (loaded.GetCount() != kCount) std::abort();
}

// ---- (a) libxml2 directly --------------------------------------------------------------------

const xmlChar* X(const char* s) {
    return reinterpret_cast<const xmlChar*>(s);
}

std::string DateText(time_t t) {
    struct tm fields;
    localtime_r(&t, &fields);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &fields);
    return text;
}

void Direct(const std::vector<std::pair<std::string, Value>>& source) {
    static const char* const kNames[] = {"CStringP", "CUIntP",  "CTimeP",
                                         "CBoolP",   "CInt64P", "CStringArrayP"};
    xmlDoc* doc = xmlNewDoc(X("1.0"));
    xmlNode* root = xmlNewNode(nullptr, X("CPropertySet"));
    xmlDocSetRootElement(doc, root);
    xmlSetProp(root, X("Count"), X(std::to_string(source.size()).c_str()));
    for (const auto& [key, value] : source) {
        std::string text;
        switch (value.index()) {
            case 0:
                text = std::get<0>(value);
                break;
            case 1:
                text = std::to_string(static_cast<int>(std::get<1>(value)));
                break;
            case 2:
                text = DateText(std::get<2>(value));
                break;
            case 3:
                text = std::get<3>(value) ? "1" : "0";
                break;
            case 4:
                text = std::to_string(std::get<4>(value));
                break;
            default:
                break;
        }
        xmlNode* child = xmlNewChild(root, nullptr, X(kNames[value.index()]), nullptr);
        xmlSetProp(child, X("Key"), X(key.c_str()));
        if (value.index() == 2) {
            xmlNs* ns = xmlNewNs(child, X("urn:schemas-microsoft-com:datatypes"), X("dt"));
            xmlSetNsProp(child, ns, X("dt"), X("dateTime"));
        }
        if (value.index() == 5) {
            const Strings& list = std::get<5>(value);
            xmlSetProp(child, X("Count"), X(std::to_string(list.size()).c_str()));
            for (const std::string& s : list)
                xmlNewTextChild(child, nullptr, X("Item"), X(s.c_str()));
        } else {
            xmlNodeAddContent(child, X(text.c_str()));
        }
    }
    xmlSaveFormatFileEnc(g_path.c_str(), doc, "UTF-8", 0);
    xmlFreeDoc(doc);
    doc = xmlReadFile(g_path.c_str(), nullptr, XML_PARSE_NOBLANKS | XML_PARSE_NONET);
    std::unordered_map<std::string, Value> loaded;
    for (xmlNode* child = xmlDocGetRootElement(doc)->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE) continue;
        xmlChar* key = xmlGetProp(child, X("Key"));
        const char* name = reinterpret_cast<const char*>(child->name);
        Value value;
        if (strcmp(name, "CStringArrayP") == 0) {
            Strings list;
            for (xmlNode* item = child->children; item; item = item->next) {
                xmlChar* text = xmlNodeGetContent(item);
                list.emplace_back(reinterpret_cast<char*>(text));
                xmlFree(text);
            }
            value = std::move(list);
        } else {
            xmlChar* content = xmlNodeGetContent(child);
            const char* text = reinterpret_cast<const char*>(content);
            if (strcmp(name, "CStringP") == 0) {
                value = std::string(text);
            } else if (strcmp(name, "CUIntP") == 0) {
                value = static_cast<unsigned>(strtol(text, nullptr, 10));
            } else if (strcmp(name, "CTimeP") == 0) {
                struct tm fields {};
                sscanf(text, "%d-%d-%dT%d:%d:%d", &fields.tm_year, &fields.tm_mon, &fields.tm_mday,
                       &fields.tm_hour, &fields.tm_min, &fields.tm_sec);
                fields.tm_year -= 1900;
                fields.tm_mon -= 1;
                fields.tm_isdst = -1;
                value = mktime(&fields);
            } else if (strcmp(name, "CBoolP") == 0) {
                value = strtol(text, nullptr, 10) != 0;
            } else {
                value = strtoll(text, nullptr, 10);
            }
            xmlFree(content);
        }
        loaded.emplace(reinterpret_cast<char*>(key), std::move(value));
        xmlFree(key);
    }
    xmlFreeDoc(doc);
    if (loaded.size() != source.size()) std::abort();
}

#ifdef KST_HAVE_BOOST_SERIALIZATION
using BValue = boost::variant<std::string, unsigned, long long, bool, Strings>;

void BoostXml(const std::map<std::string, BValue>& source) {
    {
        std::ofstream out(g_path);
        boost::archive::xml_oarchive ar(out);
        ar << boost::serialization::make_nvp("set", source);
    }
    std::map<std::string, BValue> loaded;
    std::ifstream in(g_path);
    boost::archive::xml_iarchive ar(in);
    ar >> boost::serialization::make_nvp("set", loaded);
    if (loaded.size() != source.size()) std::abort();
}
#endif

}  // namespace

int main() {
    g_path = std::string(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") + "/kst_bench_xml_" +
             std::to_string(getpid()) + ".xml";
    std::vector<std::pair<std::string, Value>> source;
    CPropertySet set;
    for (int i = 0; i < kCount; ++i) {
        source.emplace_back(KeyOf(i), ValueOf(i));
        set.CMapStringToObjectPPtr::SetAt(source.back().first.c_str(),
                                          Property(source.back().second));
    }
    Report("(a) 10^5 properties to XML and back vs libxml2",
           Alternate([&] { Ours(set); }, [&] { Direct(source); }), 1.5);
#ifdef KST_HAVE_BOOST_SERIALIZATION
    std::map<std::string, BValue> boostSource;
    for (const auto& [key, value] : source) {
        BValue v;
        switch (value.index()) {
            case 0:
                v = std::get<0>(value);
                break;
            case 1:
                v = std::get<1>(value);
                break;
            case 2:
                v = static_cast<long long>(std::get<2>(value));
                break;
            case 3:
                v = std::get<3>(value);
                break;
            case 4:
                v = std::get<4>(value);
                break;
            default:
                v = std::get<5>(value);
                break;
        }
        boostSource.emplace(key, std::move(v));
    }
    Report("(b) 10^5 properties to XML and back vs Boost XML",
           Alternate([&] { Ours(set); }, [&] { BoostXml(boostSource); }), 0.5);
#else
    std::printf("(b) skipped: Boost.Serialization not found\n");
#endif
    remove(g_path.c_str());
    return 0;
}
