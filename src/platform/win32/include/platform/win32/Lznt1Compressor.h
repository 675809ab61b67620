#pragma once

// Compresses blocks with LZNT1 as NTFS does (RtlCompressBuffer in 4 KiB chunks), only to learn
// how small they get. The calls are looked up in ntdll when it is opened: a system without
// them has no compressor.

#include "platform/Platform.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace brimble::win32 {

class Lznt1Compressor final : public IBlockCompressor {
public:
    // Null where ntdll lacks RtlCompressBuffer or RtlGetCompressionWorkSpaceSize for LZNT1.
    static std::unique_ptr<Lznt1Compressor> Open();

    // The level does not apply: NTFS compresses with the standard engine.
    int64_t CompressedSize(std::string_view block, int level) override;
    // The compressed bytes of the last block that was not all zeros.
    std::string_view LastOutput() const { return FOutput; }
    // Whether the system's LZNT1 really compresses: one that only stores its chunks as they
    // are (Wine's) would predict no saving for any file.
    bool Compresses();

private:
    using CompressFunction = long(__stdcall*)(unsigned short, unsigned char*, unsigned long,
                                              unsigned char*, unsigned long, unsigned long,
                                              unsigned long*, void*);
    Lznt1Compressor(CompressFunction compress, unsigned long workSpaceSize);

    CompressFunction FCompress;
    std::vector<unsigned char> FWorkSpace;
    std::string FOutput;
};

} // namespace brimble::win32
