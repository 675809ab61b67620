#pragma once

// Which of the files an estimate would compress it reads, and what the others will take on
// disk, predicted from the files of their group read before them. A group is the files of
// one extension (numbered suffixes such as ".so.6" skipped), or of one folder for names
// without one, in one size class (a power of two). The totals stay unbiased: which files are
// read depends on a hash of the name only, never on the content, a prediction is its group's
// ratio of bytes after to bytes before, and the rounding of each predicted size to whole
// sectors is carried over to the next file of the group.

#include "engine/OnDiskEstimate.h"

#include <cstdint>
#include <string_view>
#include <unordered_map>

namespace brimble {

struct TFileSampling {
    // Of a group's files after its first MinMeasured, those whose name hashes to one in
    // Share are read; 1 reads every file.
    int64_t Share = 8;
    int64_t MinMeasured = 8;
    // Larger files are always read (and sampled within); so is a file of one sector, whose
    // data may live in the metadata.
    int64_t MaxPredictedSize = 4 * 1024 * 1024;
};

class TEstimateSampler {
public:
    TEstimateSampler(char pathDelimiter, const TFileSampling& sampling = {},
                     const TCompressGeometry& geometry = {});

    // Whether the estimate reads this file; asked once per file, in the walk's order.
    bool Reads(std::string_view fullName, int64_t size);
    // A file that was read, once the estimate is counted: After is what it takes when
    // compressed, Before when compression gains nothing (a real run undoes it).
    void Measured(std::string_view fullName, int64_t size, int64_t before, int64_t after);
    // The size on disk of a file that was not read, counted in the walk's order after the
    // files read before it: at most Before (then no gain). A group none of whose files could
    // be read gains nothing.
    int64_t Predict(std::string_view fullName, int64_t size, int64_t before);

    // Whether the hash of Name picks it out of one in Share; the same on every run.
    static bool Picked(std::string_view fullName, int64_t share);
    // The extension a group goes by (its letter case ignored), without the numbers of a
    // versioned name: "libz.so.1.3" gives "so"; empty for none.
    static std::string_view GroupExtension(std::string_view name);

private:
    struct TGroup {
        int64_t Chosen = 0; // files chosen to be read
        int64_t Before = 0; // of the files read and counted
        int64_t After = 0;
        long double Carry = 0; // predicted bytes not yet given out by the rounding
    };
    bool Predictable(int64_t size) const;
    TGroup& GroupOf(std::string_view fullName, int64_t size);

    const char FDelimiter;
    const TFileSampling FSampling;
    const TCompressGeometry FGeometry;
    std::unordered_map<uint64_t, TGroup> FGroups; // by a hash of the group's name and class
};

} // namespace brimble
