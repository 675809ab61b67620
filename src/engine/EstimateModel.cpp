// The estimate's model per volume: btrfs with the program's zstd, NTFS with the system's
// LZNT1 compressor.

#include "engine/EstimateModel.h"

#include "engine/TBlockCompressor.h"
#include "engine/uMain.h"

namespace brimble {

namespace {

TEstimateModelChoice Refused(std::string whyNot) {
    return {nullptr, std::move(whyNot)};
}

} // namespace

TEstimateModelChoice ChooseEstimateModel(IVolumes& volumes, const std::string& root) {
    const TCompressionModel volume = volumes.CompressionModel(root);
    auto model = std::make_shared<TEstimateModel>();
    switch (volume.Format) {
    case TCompressionFormat::Zstd:
        if (!TBlockCompressor::Available())
            return Refused("this build cannot estimate (it has no zstd)");
        model->OpenCompressor = [] {
            return std::unique_ptr<IBlockCompressor>(std::make_unique<TBlockCompressor>());
        };
        return {std::move(model), {}};
    case TCompressionFormat::Lznt1:
        // Tried once here, so that a system without it says so before the walk.
        if (!volumes.OpenBlockCompressor(volume.Format))
            return Refused("this system has no LZNT1 compressor to estimate with");
        model->Geometry = NtfsGeometry(volume.ClusterSize);
        model->OpenCompressor = [&volumes, format = volume.Format] {
            return volumes.OpenBlockCompressor(format);
        };
        return {std::move(model), {}};
    case TCompressionFormat::None:
        break;
    }
    return Refused(volume.WhyNot.empty() ? "this volume's compression cannot be estimated"
                                         : volume.WhyNot);
}

IBlockCompressor*
TEstimateWorker::CompressorFor(const std::shared_ptr<const TEstimateModel>& model) {
    if (model != FModel) {
        FCompressor = model && model->OpenCompressor ? model->OpenCompressor() : nullptr;
        FModel = model;
    }
    return FCompressor.get();
}

bool TfrmBrimblemain::ChooseEstimateModelOf(const std::string& Drive) {
    TEstimateModelChoice choice = ChooseEstimateModel(FPlatform.Volumes(), Drive);
    if (!choice.Model) {
        Log("Cannot estimate on drive " + LogName(Drive) + ": " + choice.WhyNot, llNotice);
        return false;
    }
    FEstimateModel = std::move(choice.Model);
    return true;
}

std::string TfrmBrimblemain::EstimateRefusal(const std::string& Folder) {
    const std::string drive = FPlatform.FileSystem().DriveOfPath(Folder);
    if (drive.empty()) return {};
    return ChooseEstimateModel(FPlatform.Volumes(), drive).WhyNot;
}

} // namespace brimble
