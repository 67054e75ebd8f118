// DoSpan then UnSpan of a fuzzed archive: the first two bytes choose the volume size, the rest
// is the archive. When the span succeeds, the join must succeed and list the same entries.
#include <filesystem>
#include <vector>

#include "FuzzSupport.h"
#include "KstPlatform.h"
#include "KstWin32.h"
#include "KstZipInfo.h"
#include "KstZipSpan.h"

namespace {

std::vector<std::string> Names(const std::string& path) {
    CZipInfo info;
    info.GetInfo(path.c_str());
    std::vector<std::string> names;
    for (int i = 0; i < info.GetFilesCount(); ++i) names.emplace_back(info.GetName(i).c_str());
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A volume that cannot be written asks the user; nobody is there to answer.
    kst::SetMessageBoxHandler(
        [](const std::string&, const std::string&, unsigned) { return IDCANCEL; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    DWORD volumeSize = 64 + (data[0] | data[1] << 8);
    std::string archive = kstfuzz::Path("span.zip");
    std::string volumes = kstfuzz::Path("volumes");
    std::string joined = kstfuzz::Path("joined/span.zip");
    std::filesystem::remove_all(volumes);
    std::filesystem::remove_all(kstfuzz::Path("joined"));
    std::filesystem::create_directories(kstfuzz::Path("joined"));
    kstfuzz::WriteFile(archive, data + 2, size - 2);

    int count;
    {
        CZipSpan span(archive.c_str());
        count = span.DoSpan(volumeSize, volumes.c_str(), true);
    }
    kstfuzz::Require(count >= -2, "the span answers an unknown result");
    if (count < 1) return 0;
    CZipSpan join(joined.c_str());
    kstfuzz::Require(join.UnSpan(volumes.c_str(), count) == 1,
                     "a span that succeeded does not join");
    kstfuzz::Require(Names(joined) == Names(archive), "the joined archive lists other entries");
    return 0;
}
