#pragma once

// Where an estimate's arithmetic and compressor come from: the volume that holds the files,
// as the platform describes it.

#include "engine/OnDiskEstimate.h"
#include "platform/Platform.h"

#include <functional>
#include <memory>
#include <string>

namespace brimble {

struct TEstimateModel {
    TCompressGeometry Geometry;
    // A compressor for one worker thread, opened on that thread; null when none can be had.
    std::function<std::unique_ptr<IBlockCompressor>()> OpenCompressor;
};

// The model of the volume at Root, or why no estimate can be made there.
struct TEstimateModelChoice {
    std::shared_ptr<const TEstimateModel> Model;
    std::string WhyNot;
};
TEstimateModelChoice ChooseEstimateModel(IVolumes& volumes, const std::string& root);

// One worker thread's compressor, opened again only when the worker is given files of
// another model.
class TEstimateWorker {
public:
    // Null when the model's compressor cannot be opened.
    IBlockCompressor* CompressorFor(const std::shared_ptr<const TEstimateModel>& model);

private:
    std::shared_ptr<const TEstimateModel> FModel; // kept: its address names it
    std::unique_ptr<IBlockCompressor> FCompressor;
};

} // namespace brimble
