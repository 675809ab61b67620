// The action for one file: compress, decrypt and compress, decompress or nothing, from
// the file's entry, its folder, the options and the never-compress list. Changes nothing.

#include "engine/FilterList.h"
#include "engine/uMain.h"

namespace brimble {

namespace {

using enum TCompressAction;

// The working action of one decision and the rule that turns it down.
class TDecisionState {
public:
    explicit TDecisionState(TSmartDecompress policy) : FPolicy(policy) {}

    void MarkDecrypt() { FAction = caCompressDecrypted; }

    // A rule turns the file down. True when that ends the decision (with caDecompress);
    // otherwise the working action is caNone and later rules run on.
    bool Decline() {
        if (IsCompressAction(FAction))
            FAction = FPolicy == TSmartDecompress::sdAllButCompress ? caDecompress : caNone;
        return FAction == caDecompress;
    }

    TCompressAction Action() const { return FAction; }

private:
    TSmartDecompress FPolicy;
    TCompressAction FAction = caCompress;
};

// The excluding filter named the extension: compressed files are decompressed unless the
// policy forbids any decompression, all others are left alone.
TCompressAction ExclusionResult(const TBrimbleOptions& options, bool compressed) {
    return compressed && options.SmartDecompress != TSmartDecompress::sdNone ? caDecompress
                                                                             : caNone;
}

} // namespace

TCompressAction TfrmBrimblemain::GetCompressAction(const std::string& Dir,
                                                   const TFileAttrRec& FileAttrRec) {
    return DecideAction(Dir, FileAttrRec, true);
}

TCompressAction TfrmBrimblemain::DecideAction(const std::string& Dir,
                                              const TFileAttrRec& FileAttrRec, bool SizeRules) {
    if (FNeverCompressList && FNeverCompressList->Contains(FileAttrRec.Name)) return caNone;

    const TBrimbleOptions& options = *FOptions;
    TDecisionState state(options.SmartDecompress);

    if (FileAttrRec.Attr & fa::Encrypted) {
        if (options.CompressEncrypted)
            state.MarkDecrypt();
        else if (state.Decline())
            return state.Action();
    }
    if ((FileAttrRec.Attr & fa::Temporary) && state.Decline()) return state.Action();

    const bool compressed = (FileAttrRec.Attr & fa::Compressed) != 0;
    const std::string_view extension = FileExtension(FileAttrRec.Name);
    const bool included = FilterListContains(options.FilterIncluding, extension);
    if (!included) {
        if (options.CompressUnfiltered) {
            if (FilterListContains(options.FilterExcluding, extension))
                return ExclusionResult(options, compressed);
        } else if (state.Decline()) {
            return state.Action();
        }
    }

    // Under the policy that decompresses all but what is to be compressed, this decline
    // ends in caDecompress: an already compressed file is decompressed.
    if (compressed && state.Decline()) return state.Action();
    if (SizeRules) {
        if (FProcessingDiskClusterSize > FileAttrRec.Size && state.Decline()) return state.Action();
        const bool limitOn =
            included ? options.MaxFileSizeFilteredEnable : options.MaxFileSizeUnfilteredEnable;
        const int64_t limit =
            included ? options.MaxFileSizeFiltered : options.MaxFileSizeUnfiltered;
        if (limitOn && FileAttrRec.Size > limit && state.Decline()) return state.Action();
    }

    if (options.ExcludeFoldersEnabled && IsFolderExcluded(Dir) && state.Decline())
        return state.Action();

    return state.Action();
}

TCompressAction TfrmBrimblemain::GetCompressAction(const std::string& FileName) {
    const std::optional<TFileAttrRec> entry = FPlatform.FileSystem().FindEntry(FileName);
    if (!entry) return caNone;
    const auto delimiter = FileName.rfind(FPlatform.FileSystem().PathDelimiter());
    const std::string dir =
        delimiter == std::string::npos ? std::string() : FileName.substr(0, delimiter + 1);
    return GetCompressAction(dir, *entry);
}

std::optional<std::size_t> CoveringFolderIndex(const IPathRules& rules,
                                               const std::vector<std::string>& folders,
                                               std::string_view dir) {
    // A folder reached through "." or ".." is the folder it resolves to.
    const std::string normalised = rules.Normalize(dir);
    for (std::size_t i = 0; i < folders.size(); ++i) {
        const std::string& folder = folders[i];
        // An empty entry would exclude every folder; the list never holds one on purpose.
        if (folder.empty() || !rules.IsAtOrBelow(normalised, folder)) continue;
        // The folder itself counts only when written as one, with the trailing delimiter.
        const bool sameFolder = rules.IsAtOrBelow(folder, normalised);
        if (!sameFolder || (!normalised.empty() && normalised.back() == folder.back())) return i;
    }
    return std::nullopt;
}

bool TfrmBrimblemain::IsFolderExcluded(const std::string& Dir) {
    if (!FOptions->ExcludeFoldersEnabled || !FExpandedFoldersList) return false;
    return CoveringFolderIndex(FPlatform.FileSystem().PathRules(), *FExpandedFoldersList, Dir)
        .has_value();
}

void TfrmBrimblemain::BeforeDirectoryEnter(const void* /*Sender*/, const std::string& Dir,
                                           bool& AllowEnter) {
    const std::shared_ptr<const TScanSnapshot> snapshot = ScanSnapshot();
    AllowEnter = !(snapshot && snapshot->IsFolderExcluded(Dir));
}

} // namespace brimble
