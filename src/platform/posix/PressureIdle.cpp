#include "platform/posix/PressureIdle.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

namespace brimble::posix {

std::optional<double> SomeAvg10(const std::string& text) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with("some ")) continue;
        const auto at = line.find("avg10=");
        if (at == std::string::npos) return std::nullopt;
        const char* start = line.c_str() + at + 6;
        char* end = nullptr;
        const double value = std::strtod(start, &end);
        if (end == start) return std::nullopt;
        return value;
    }
    return std::nullopt;
}

namespace {

std::optional<double> ReadAvg10(const char* path) {
    std::ifstream file(path);
    if (!file) return std::nullopt;
    std::stringstream text;
    text << file.rdbuf();
    return SomeAvg10(text.str());
}

} // namespace

std::optional<Pressure> ReadPressure() {
    const auto cpu = ReadAvg10("/proc/pressure/cpu");
    const auto io = ReadAvg10("/proc/pressure/io");
    if (!cpu || !io) return std::nullopt;
    return Pressure{*cpu, *io};
}

uint32_t PressureIdle::Update(uint64_t nowMs, const std::optional<Pressure>& reading) {
    if (!reading || reading->Cpu >= QuietPercent || reading->Io >= QuietPercent) {
        FQuietSince.reset();
        return 0;
    }
    if (!FQuietSince || *FQuietSince > nowMs) FQuietSince = nowMs;
    return static_cast<uint32_t>(
        std::min<uint64_t>(nowMs - *FQuietSince, std::numeric_limits<uint32_t>::max()));
}

} // namespace brimble::posix
