#pragma once

// A platform that hands every part to a sim platform; a test derives from it and replaces
// only the part it needs to be different.

#include "platform/sim/SimPlatform.h"

namespace brimble::test {

class DelegatingPlatform : public Platform {
public:
    explicit DelegatingPlatform(sim::SimPlatform& sim) : FSim(sim) {}
    IFileSystem& FileSystem() override { return FSim; }
    IVolumes& Volumes() override { return FSim; }
    IChangeWatching& ChangeWatching() override { return FSim; }
    IClock& Clock() override { return FSim; }
    ILocale& Locale() override { return FSim; }
    IProcess& Process() override { return FSim; }
    void SetCommandLineArguments(std::vector<std::string> arguments) override {
        FSim.SetCommandLineArguments(std::move(arguments));
    }
    void SetDiagnosticsSink(DiagnosticsSink sink) override {
        FSim.SetDiagnosticsSink(std::move(sink));
    }

protected:
    sim::SimPlatform& FSim;
};

} // namespace brimble::test
