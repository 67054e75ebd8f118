// Property benchmarks, each against a standard yardstick measured in the same run:
//  (a) a CPropertySet: 10^6 SetAt, 10^6 Lookup, one traversal, against
//      std::unordered_map<std::string, std::unique_ptr<CUIntP>> doing the same (goal: ratio
//      <= 2.0);
//  (b) an array of 10^6 mixed scalar properties stored to and loaded from an archive file,
//      against Boost.Serialization of a vector of polymorphic pointers with the same values
//      (goal: ratio <= 1.0).
#include <unistd.h>

#include <ctime>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "KstArchive.h"
#include "KstFile.h"
#include "KstProperties.h"

#ifdef KST_HAVE_BOOST_SERIALIZATION
#include <boost/archive/binary_iarchive.hpp>
#include <boost/archive/binary_oarchive.hpp>
#include <boost/serialization/string.hpp>
#include <boost/serialization/vector.hpp>
#include <fstream>
#endif

namespace {

constexpr int kCount = 1000000;

// CPU time of this thread: the machine is shared, and wall time would count other work.
double CpuNow() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double Seconds(const std::function<void()>& fn) {
    double start = CpuNow();
    fn();
    return CpuNow() - start;
}

// The best of a few runs, so a stray hiccup of the machine does not decide the ratio.
double Best(int runs, const std::function<void()>& fn) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) best = std::min(best, Seconds(fn));
    return best;
}

void Report(const char* name, double ours, double theirs, double goal) {
    double ratio = ours / theirs;
    std::printf("%-48s ours %.3f s CPU, yardstick %.3f s, ratio %.2f (goal <= %.1f) %s\n", name,
                ours, theirs, ratio, goal, ratio <= goal ? "met" : "MISSED");
}

std::vector<std::string> MakeKeys() {
    std::vector<std::string> keys;
    keys.reserve(kCount);
    for (int i = 0; i < kCount; ++i) keys.push_back("Group.Key" + std::to_string(i));
    return keys;
}

volatile unsigned long long g_sink;

void PropertySetVersusUnorderedMap() {
    const std::vector<std::string> keys = MakeKeys();
    double ours = Best(3, [&] {
        CPropertySet set;
        for (int i = 0; i < kCount; ++i) set.SetAt(keys[i].c_str(), static_cast<UINT>(i));
        unsigned long long sum = 0;
        for (int i = 0; i < kCount; ++i) {
            CUIntP* value = nullptr;
            if (set.Lookup(keys[i].c_str(), value)) sum += static_cast<UINT>(*value);
        }
        CString name;
        CObjectP* object = nullptr;
        for (POSITION pos = set.GetStartPosition(); pos;) {
            set.GetNextAssoc(pos, name, object);
            sum += static_cast<unsigned>(name.GetLength());
        }
        g_sink = sum;
    });
    double theirs = Best(3, [&] {
        std::unordered_map<std::string, std::unique_ptr<CUIntP>> map;
        for (int i = 0; i < kCount; ++i)
            map[keys[i]] = std::make_unique<CUIntP>(static_cast<UINT>(i));
        unsigned long long sum = 0;
        for (int i = 0; i < kCount; ++i) {
            auto found = map.find(keys[i]);
            if (found != map.end()) sum += static_cast<UINT>(*found->second);
        }
        for (const auto& [name, value] : map) sum += name.size();
        g_sink = sum;
    });
    Report("(a) property set: SetAt, Lookup, traversal", ours, theirs, 2.0);
}

CObjectP* MixedProperty(int i) {
    switch (i % 5) {
        case 0:
            return new CStringP(CString(("value" + std::to_string(i)).c_str()));
        case 1:
            return new CUIntP(static_cast<UINT>(i));
        case 2:
            return new CTimeP(CTime(static_cast<__time64_t>(i) * 60));
        case 3: {
            auto* flag = new CBoolP;
            flag->SetValue(i & 1);
            return flag;
        }
        default: {
            auto* number = new CInt64P;
            number->SetValue(static_cast<int64_t>(i) * 1000003LL);
            return number;
        }
    }
}

double StoreAndLoadProperties(const std::string& path) {
    CObjectPArrayPtr source;
    source.SetSize(0, 1024 * 64);
    for (int i = 0; i < kCount; ++i) source.Add(MixedProperty(i));
    return Best(3, [&] {
        {
            CFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite);
            CArchive ar(&file, CArchive::store, 1 << 16);
            source.Serialize(ar);
            ar.Close();
            file.Close();
        }
        CObjectPArrayPtr loaded;
        CFile file(path.c_str(), CFile::modeRead);
        CArchive ar(&file, CArchive::load, 1 << 16);
        loaded.Serialize(ar);
        if (loaded.GetSize() != kCount) std::abort();
    });
}

#ifdef KST_HAVE_BOOST_SERIALIZATION
struct BValue {
    virtual ~BValue() = default;
    template <class Archive>
    void serialize(Archive&, unsigned) {}
};
struct BString : BValue {
    std::string value;
    template <class Archive>
    void serialize(Archive& ar, unsigned) {
        ar& boost::serialization::base_object<BValue>(*this) & value;
    }
};
template <class T>
struct BNumber : BValue {
    T value{};
    template <class Archive>
    void serialize(Archive& ar, unsigned) {
        ar& boost::serialization::base_object<BValue>(*this) & value;
    }
};

BValue* MixedBoostValue(int i) {
    switch (i % 5) {
        case 0: {
            auto* v = new BString;
            v->value = "value" + std::to_string(i);
            return v;
        }
        case 1: {
            auto* v = new BNumber<unsigned>;
            v->value = static_cast<unsigned>(i);
            return v;
        }
        case 2: {
            auto* v = new BNumber<int64_t>;
            v->value = static_cast<int64_t>(i) * 60;
            return v;
        }
        case 3: {
            auto* v = new BNumber<bool>;
            v->value = i & 1;
            return v;
        }
        default: {
            auto* v = new BNumber<long long>;
            v->value = static_cast<long long>(i) * 1000003LL;
            return v;
        }
    }
}

template <class Archive>
void RegisterBoostTypes(Archive& ar) {
    ar.template register_type<BString>();
    ar.template register_type<BNumber<unsigned>>();
    ar.template register_type<BNumber<int64_t>>();
    ar.template register_type<BNumber<bool>>();
    ar.template register_type<BNumber<long long>>();
}

double StoreAndLoadBoost(const std::string& path) {
    std::vector<BValue*> source;
    for (int i = 0; i < kCount; ++i) source.push_back(MixedBoostValue(i));
    double best = Best(3, [&] {
        {
            std::ofstream out(path, std::ios::binary);
            boost::archive::binary_oarchive ar(out);
            RegisterBoostTypes(ar);
            ar << source;
        }
        std::vector<BValue*> loaded;
        {
            std::ifstream in(path, std::ios::binary);
            boost::archive::binary_iarchive ar(in);
            RegisterBoostTypes(ar);
            ar >> loaded;
        }
        if (loaded.size() != static_cast<size_t>(kCount)) std::abort();
        for (BValue* value : loaded) delete value;
    });
    for (BValue* value : source) delete value;
    return best;
}
#endif

void ArchiveVersusBoost() {
    char folder[] = "/tmp/kst-bench-props-XXXXXX";
    if (!mkdtemp(folder)) return;
    std::string ours = std::string(folder) + "/props.bin";
    double oursSeconds = StoreAndLoadProperties(ours);
#ifdef KST_HAVE_BOOST_SERIALIZATION
    std::string theirs = std::string(folder) + "/boost.bin";
    double theirSeconds = StoreAndLoadBoost(theirs);
    Report("(b) 10^6 mixed scalars: store and load a file", oursSeconds, theirSeconds, 1.0);
    std::remove(theirs.c_str());
#else
    std::printf("(b) 10^6 mixed scalars: ours %.3f s; Boost.Serialization not found\n",
                oursSeconds);
#endif
    std::remove(ours.c_str());
    rmdir(folder);
}

}  // namespace

int main() {
    PropertySetVersusUnorderedMap();
    ArchiveVersusBoost();
    return 0;
}
