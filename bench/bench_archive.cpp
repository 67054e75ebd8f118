// CArchive against Boost.Serialization's binary archives: 10^6 strings of 16 bytes and 10^6
// counts written to a real file and read back, best of three runs each.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "KstArchive.h"
#include "KstFile.h"

#ifdef KST_HAVE_BOOST_SERIALIZATION
#include <boost/archive/binary_iarchive.hpp>
#include <boost/archive/binary_oarchive.hpp>
#include <boost/serialization/string.hpp>
#endif

namespace {

constexpr int kItems = 1000000;

struct Data {
    std::vector<std::string> strings;
    std::vector<DWORD> counts;
};

Data MakeData() {
    Data data;
    data.strings.reserve(kItems);
    data.counts.reserve(kItems);
    for (int i = 0; i < kItems; ++i) {
        char text[17];
        std::snprintf(text, sizeof text, "item-%011d", i);
        data.strings.emplace_back(text, 16);
        data.counts.push_back(static_cast<DWORD>(i) * 7u % 200000u);  // some take the escape
    }
    return data;
}

struct Times {
    double write;
    double read;
};

Times RunOurs(const Data& data, const std::string& path) {
    std::vector<CString> strings(data.strings.begin(), data.strings.end());
    size_t checksum = 0;
    Times t{};
    t.write = kstbench::Best([&] {
        CFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        for (int i = 0; i < kItems; ++i) {
            ar << strings[i];
            ar.WriteCount(data.counts[i]);
        }
        ar.Close();
        file.Close();
    });
    t.read = kstbench::Best([&] {
        CFile file(path.c_str(), CFile::modeRead);
        CArchive ar(&file, CArchive::load);
        CString s;
        for (int i = 0; i < kItems; ++i) {
            ar >> s;
            checksum += ar.ReadCount() + static_cast<size_t>(s.GetLength());
        }
    });
    if (checksum == 0) std::puts("unexpected checksum");
    return t;
}

#ifdef KST_HAVE_BOOST_SERIALIZATION
Times RunBoost(const Data& data, const std::string& path) {
    size_t checksum = 0;
    Times t{};
    t.write = kstbench::Best([&] {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        boost::archive::binary_oarchive oa(out);
        for (int i = 0; i < kItems; ++i) {
            oa << data.strings[i];
            oa << data.counts[i];
        }
    });
    t.read = kstbench::Best([&] {
        std::ifstream in(path, std::ios::binary);
        boost::archive::binary_iarchive ia(in);
        std::string s;
        DWORD count = 0;
        for (int i = 0; i < kItems; ++i) {
            ia >> s;
            ia >> count;
            checksum += count + s.size();
        }
    });
    if (checksum == 0) std::puts("unexpected checksum");
    return t;
}
#endif

}  // namespace

int main() {
    Data data = MakeData();
    std::string folder = P_tmpdir;
    std::string ours = folder + "/kst_bench_archive_" + std::to_string(getpid()) + ".bin";
    Times o = RunOurs(data, ours);
    std::printf("CArchive:           write %.3f s, read %.3f s, total %.3f s\n", o.write, o.read,
                o.write + o.read);
    std::remove(ours.c_str());
#ifdef KST_HAVE_BOOST_SERIALIZATION
    std::string theirs = folder + "/kst_bench_boost_" + std::to_string(getpid()) + ".bin";
    Times b = RunBoost(data, theirs);
    std::printf("boost binary:       write %.3f s, read %.3f s, total %.3f s\n", b.write, b.read,
                b.write + b.read);
    std::printf("ratio (ours/boost): write %.2f, read %.2f, total %.2f\n", o.write / b.write,
                o.read / b.read, (o.write + o.read) / (b.write + b.read));
    std::remove(theirs.c_str());
#else
    std::puts("Boost.Serialization not found: no comparison");
#endif
    return 0;
}
