// kst props-write / props-show: a property set stored in an archive file as a host stores it,
// and any stored property object printed back as a tree.
#include <cctype>
#include <cstdio>
#include <memory>
#include <string>

#include "Commands.h"
#include "KstArchive.h"
#include "KstFile.h"
#include "KstPattern.h"
#include "KstProperties.h"

namespace kstool {
namespace {

bool IsNumber(const std::string& text) {
    if (text.empty() || text.size() > 9) return false;
    for (char ch : text)
        if (!std::isdigit(static_cast<unsigned char>(ch))) return false;
    return true;
}

struct {
    std::string file;
    std::vector<std::string> values;
} props;

int PropsWrite() {
    CPropertySet set;
    for (const std::string& assignment : props.values) {
        size_t equals = assignment.find('=');
        if (equals == std::string::npos) return UsageError("expected NAME=VALUE: " + assignment);
        std::string name = assignment.substr(0, equals), value = assignment.substr(equals + 1);
        if (IsNumber(value))
            set.SetAt(name.c_str(), static_cast<UINT>(std::stoul(value)));
        else
            set.SetAt(name.c_str(), value.c_str());
    }
    try {
        CFile file(props.file.c_str(), CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        ar.WriteObject(&set);
        ar.Close();
        file.Close();
    } catch (CException* e) {
        return ReportException(e, "cannot write " + props.file);
    }
    return 0;
}

void Print(const CObjectP* object, int depth, const std::string& label);

std::string Indent(int depth) {
    return std::string(static_cast<size_t>(depth) * 2, ' ');
}

std::string ScalarText(const CObjectP* object) {
    if (auto* text = dynamic_cast<const CStringP*>(object)) return "\"" + text->str() + "\"";
    if (auto* number = dynamic_cast<const CUIntP*>(object))
        return std::to_string(static_cast<UINT>(*number));
    if (auto* time = dynamic_cast<const CTimeP*>(object))
        return std::to_string(time->GetTime()) + " (" +
               time->FormatGmt("%Y-%m-%d %H:%M:%S UTC").str() + ")";
    if (auto* flag = dynamic_cast<const CBoolP*>(object))
        return flag->GetValue() ? "true" : "false";
    if (auto* big = dynamic_cast<const CInt64P*>(object)) return std::to_string(big->GetValue());
    if (auto* pattern = dynamic_cast<const CPattern*>(object))
        return "\"" + pattern->GetPatternName().str() + "\"" +
               (pattern->IsSimple() ? " simple" : "");
    if (auto* spec = dynamic_cast<const CMaskSpec*>(object))
        return std::string(spec->IsIncludeSubDirs() ? "with" : "without") + " subfolders" +
               (spec->IsSetFilesStatus() ? ", files status" : "");
    if (auto* blob = dynamic_cast<const CBinaryP*>(object)) {
        std::string hex;
        char cell[4];
        for (UINT i = 0; i < blob->GetSize() && i < 32; ++i) {
            std::snprintf(cell, sizeof cell, "%02X", blob->GetData()[i]);
            hex += cell;
        }
        return std::to_string(blob->GetSize()) + " bytes " + hex +
               (blob->GetSize() > 32 ? "..." : "");
    }
    return "";
}

void PrintStrings(const char* label, const CStringArray& strings, int depth) {
    std::printf("%s%s", Indent(depth).c_str(), label);
    for (int i = 0; i < strings.GetSize(); ++i) std::printf(" \"%s\"", strings.GetAt(i).c_str());
    std::printf("\n");
}

void PrintChildren(const CObjectP* object, int depth) {
    if (auto* spec = dynamic_cast<const CMaskSpec*>(object)) {
        PrintStrings("folders:", spec->GetRelativeDirs(), depth);
        PrintStrings("include:", spec->GetIncludes(), depth);
        PrintStrings("exclude:", spec->GetExcludes(), depth);
    } else if (auto* strings = dynamic_cast<const CStringArrayP*>(object)) {
        for (int i = 0; i < strings->GetSize(); ++i)
            std::printf("%s[%d] \"%s\"\n", Indent(depth).c_str(), i, strings->GetAt(i).c_str());
    } else if (auto* array = dynamic_cast<const CObjectPArrayPtr*>(object)) {
        for (int i = 0; i < array->GetSize(); ++i)
            Print(array->GetAt(i), depth, "[" + std::to_string(i) + "] ");
    } else if (auto* list = dynamic_cast<const CObjectPListPtr*>(object)) {
        for (POSITION pos = list->GetHeadPosition(); pos;) Print(list->GetNext(pos), depth, "- ");
    } else if (auto* map = dynamic_cast<const CMapStringToObjectPPtr*>(object)) {
        CString key;
        CObjectP* value = nullptr;
        for (POSITION pos = map->GetStartPosition(); pos;) {
            map->GetNextAssoc(pos, key, value);
            Print(value, depth, key.str() + " = ");
        }
    }
}

void Print(const CObjectP* object, int depth, const std::string& label) {
    if (!object) {
        std::printf("%s%snull\n", Indent(depth).c_str(), label.c_str());
        return;
    }
    std::string value = ScalarText(object);
    std::printf("%s%s%s%s%s\n", Indent(depth).c_str(), label.c_str(),
                object->GetRuntimeClass()->m_lpszClassName, value.empty() ? "" : " ",
                value.c_str());
    PrintChildren(object, depth + 1);
}

int PropsShow() {
    std::string why = WhyNotReadable(props.file);
    if (!why.empty()) return Failure("cannot read " + props.file + ": " + why);
    try {
        CFile file(props.file.c_str(), CFile::modeRead);
        CArchive ar(&file, CArchive::load);
        std::unique_ptr<CObject> object(ar.ReadObject(nullptr));
        auto* property = dynamic_cast<CObjectP*>(object.get());
        if (!property) return Failure(props.file + " holds no property object");
        Print(property, 0, "");
    } catch (CException* e) {
        return ReportException(e, "cannot read " + props.file);
    }
    return 0;
}

Registration propsCommands({"props-write", "props-show"}, [](CLI::App& kst) {
    CLI::App* write =
        AddCommand(kst, "props-write", "store a property set (numbers as CUIntP, text as CStringP)",
                   PropsWrite);
    write->add_option("FILE", props.file, "the archive file to write")->required();
    write->add_option("NAME=VALUE", props.values, "a property of the set")->required();

    CLI::App* show = AddCommand(kst, "props-show",
                                "print the property object stored in an archive file", PropsShow);
    show->add_option("FILE", props.file, "the archive file to read")->required();
});

}  // namespace
}  // namespace kstool
