#include "platform/win32/Lznt1Compressor.h"

#include <algorithm>
#include <windows.h>

namespace brimble::win32 {

namespace {

using WorkSpaceSizeFunction = long(__stdcall*)(unsigned short, unsigned long*, unsigned long*);

constexpr unsigned short kFormat = COMPRESSION_FORMAT_LZNT1 | COMPRESSION_ENGINE_STANDARD;
// NTFS compresses a unit in chunks of this size.
constexpr unsigned long kChunkSize = 4096;

template <class Function> Function NtdllFunction(const char* name) {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return nullptr;
    // Through a function pointer without arguments: the cast the compiler accepts silently.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(ntdll, name)));
}

bool AllZeros(std::string_view block) {
    return std::all_of(block.begin(), block.end(), [](char byte) { return byte == 0; });
}

} // namespace

std::unique_ptr<Lznt1Compressor> Lznt1Compressor::Open() {
    const auto compress = NtdllFunction<CompressFunction>("RtlCompressBuffer");
    const auto workSpaceSize =
        NtdllFunction<WorkSpaceSizeFunction>("RtlGetCompressionWorkSpaceSize");
    if (!compress || !workSpaceSize) return nullptr;
    unsigned long bufferWorkSpace = 0, fragmentWorkSpace = 0;
    if (workSpaceSize(kFormat, &bufferWorkSpace, &fragmentWorkSpace) < 0) return nullptr;
    return std::unique_ptr<Lznt1Compressor>(new Lznt1Compressor(compress, bufferWorkSpace));
}

Lznt1Compressor::Lznt1Compressor(CompressFunction compress, unsigned long workSpaceSize)
    : FCompress(compress), FWorkSpace(std::max<unsigned long>(workSpaceSize, 1)) {}

int64_t Lznt1Compressor::CompressedSize(std::string_view block, int /*level*/) {
    // NTFS allocates nothing for a unit of zeros.
    if (AllZeros(block)) return 0;
    if (block.size() > 0x7fffffff) return -1;
    // Room for every chunk stored as it is, with its header, and the end mark.
    FOutput.resize(block.size() + block.size() / kChunkSize * 2 + 16);
    unsigned long written = 0;
    auto* input = reinterpret_cast<unsigned char*>(const_cast<char*>(block.data()));
    const long status = FCompress(kFormat, input, static_cast<unsigned long>(block.size()),
                                  reinterpret_cast<unsigned char*>(FOutput.data()),
                                  static_cast<unsigned long>(FOutput.size()), kChunkSize, &written,
                                  FWorkSpace.data());
    // Success and its informational codes (all zeros) are not negative.
    if (status < 0) {
        FOutput.clear();
        return -1;
    }
    FOutput.resize(written);
    return static_cast<int64_t>(written);
}

bool Lznt1Compressor::Compresses() {
    const std::string repeated(kChunkSize, 'a');
    const int64_t size = CompressedSize(repeated, 0);
    return size >= 0 && size < static_cast<int64_t>(repeated.size()) / 2;
}

} // namespace brimble::win32
