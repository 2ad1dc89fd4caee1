#include "parameter_sets.h"

#include <iterator>

namespace vqxcap {
namespace {

constexpr uint8_t kNalTypeMask = 0x1F;
constexpr uint8_t kNalSps = 7, kNalPps = 8;
constexpr uint8_t kStartCode[] = {0, 0, 0, 1};

struct NalUnit {
    size_t begin = 0;  // the NAL header byte
    size_t end = 0;    // one past the last byte, trailing zero bytes left out
};

// Offset just past the next start code (0x000001) at or after `from`; `size` when there is none.
size_t NextPayload(const uint8_t* data, size_t size, size_t from) {
    for (size_t i = from; i + 2 < size; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) return i + 3;
    }
    return size;
}

// Calls visit(NalUnit) for every NAL unit of the piece, in order.
template <typename Visit>
void ForEachNalUnit(const uint8_t* data, size_t size, Visit visit) {
    size_t begin = NextPayload(data, size, 0);
    while (begin < size) {
        const size_t next = NextPayload(data, size, begin);
        size_t end = next == size ? size : next - 3;
        while (end > begin && data[end - 1] == 0)
            --end;  // zero bytes before the next start code
        visit(NalUnit{begin, end});
        begin = next;
    }
}

bool IsParameterSet(uint8_t header) {
    const uint8_t type = header & kNalTypeMask;
    return type == kNalSps || type == kNalPps;
}

}  // namespace

std::vector<uint8_t> ExtractParameterSets(const uint8_t* data, size_t size) {
    std::vector<uint8_t> sets;
    ForEachNalUnit(data, size, [&](const NalUnit& nal) {
        if (nal.end <= nal.begin || !IsParameterSet(data[nal.begin])) return;
        sets.insert(sets.end(), std::begin(kStartCode), std::end(kStartCode));
        sets.insert(sets.end(), data + nal.begin, data + nal.end);
    });
    return sets;
}

bool ContainsSequenceParameterSet(const uint8_t* data, size_t size) {
    bool found = false;
    ForEachNalUnit(data, size, [&](const NalUnit& nal) {
        found = found || (nal.end > nal.begin && (data[nal.begin] & kNalTypeMask) == kNalSps);
    });
    return found;
}

}  // namespace vqxcap
