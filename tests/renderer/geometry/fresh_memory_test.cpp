#include "renderer/geometry/fresh_memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zephrin {
namespace {

// Faulting pages in must never touch what they hold: the range may begin inside memory in use, and
// an array's elements may already be written when its capacity is prefaulted.
TEST(FreshMemory, PrefaultingKeepsWhatThePagesHoldAndLeavesSmallRangesAlone) {
    std::vector<uint64_t> array;
    array.reserve((size_t{24} << 20) / sizeof(uint64_t));
    for (uint64_t n = 0; n < 100000; ++n) array.push_back(n * 2654435761u);
    prefaultFreshMemory(array);
    bool intact = true;
    for (uint64_t n = 0; n < array.size(); ++n) intact = intact && array[n] == n * 2654435761u;
    EXPECT_TRUE(intact);
    // The rest of the capacity is writable as ordinary memory.
    array.resize(array.capacity(), 7u);
    EXPECT_EQ(array.back(), 7u);

    std::vector<uint64_t> small(1000, 3u);
    EXPECT_FALSE(prefaultFreshMemory(small));
    EXPECT_FALSE(prefaultFreshMemory(nullptr, size_t{64} << 20));
    EXPECT_EQ(small[999], 3u);
}

// The kernel's huge page setting: "always", "madvise" or "never" (empty where it has none).
std::string hugePageSetting() {
    std::ifstream file("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string line;
    std::getline(file, line);
    const size_t open = line.find('['), close = line.find(']');
    return open == std::string::npos || close == std::string::npos ? "" : line.substr(open + 1, close - open - 1);
}

// The THPeligible field of the mapping that holds `address`: 1 where its faults may take huge pages.
int hugePageEligible(const void* address) {
    const uintptr_t at = reinterpret_cast<uintptr_t>(address);
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    while (std::getline(smaps, line)) {
        uintptr_t begin = 0, end = 0;
        char dash = 0;
        std::istringstream head(line);
        if (head >> std::hex >> begin >> dash >> end && dash == '-') {
            inside = begin <= at && at < end;
        } else if (inside && line.rfind("THPeligible:", 0) == 0) {
            return std::stoi(line.substr(12));
        }
    }
    return -1;
}

// A mesh's fresh arrays are asked for huge pages before they are faulted in: without them, every
// 4 KiB of a 300 MB mesh is one trap into the kernel.
TEST(FreshMemory, PrefaultedArraysMayTakeHugePages) {
    const std::string setting = hugePageSetting();
    if (setting.empty() || setting == "never") GTEST_SKIP() << "the kernel has no huge pages to give";
    std::vector<uint64_t> array;
    array.reserve((size_t{64} << 20) / sizeof(uint64_t));
    // Older kernels cannot populate; the advice stands either way.
    prefaultFreshMemory(array);
    EXPECT_EQ(hugePageEligible(array.data() + array.capacity() / 2), 1);
}

}  // namespace
}  // namespace zephrin
