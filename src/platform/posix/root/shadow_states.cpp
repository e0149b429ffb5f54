#include "platform/posix/root/shadow_states.h"

namespace {

// A volume's place, as its file system was read from it.
std::unique_ptr<VolumeSpan> SpanOf(const TskFunctions *tsk, const DiskVolume &volume)
{
    TSK_IMG_INFO *image = volume.fs->img_info;
    std::uint64_t at = static_cast<std::uint64_t>(volume.fs->offset);
    std::uint64_t size = volume.size != 0 && volume.layer == nullptr ? volume.size
                         : static_cast<std::uint64_t>(image->size) > at ? static_cast<std::uint64_t>(image->size) - at
                                                                        : 0;
    return std::unique_ptr<VolumeSpan>(new VolumeSpan{tsk, image, at, size});
}

bool Shadowed(const DiskVolume &volume)
{
    return volume.fs != nullptr && TSK_FS_TYPE_ISNTFS(volume.fs->ftype);
}

} // namespace

void AddShadowStates(const TskFunctions *tsk, const std::vector<DiskVolume> &disk, std::size_t chosen,
                     const std::string &label, const Candidate &one, ShadowReading &reading,
                     std::vector<InstallationState> &states, std::vector<std::string> &notes)
{
    if (chosen >= disk.size() || !Shadowed(disk[chosen]))
        return;
    // The stores read through these for as long as they are open.
    reading.spans.push_back(SpanOf(tsk, disk[chosen]));
    const VolumeSpan *mine = reading.spans.back().get();
    std::vector<const VolumeSpan *> others;
    for (std::size_t index = 0; index < disk.size(); ++index)
        if (index != chosen && Shadowed(disk[index])) {
            reading.spans.push_back(SpanOf(tsk, disk[index]));
            others.push_back(reading.spans.back().get());
        }
    std::vector<ShadowImage> images;
    Fault fault;
    if (!OpenShadowImages(*mine, others, images, fault)) {
        notes.push_back(label + ": its shadow copies are not read (" + FaultText(fault) + ")");
        return;
    }
    for (std::size_t index = 0; index < images.size(); ++index) {
        const ShadowImage &copy = images[index];
        InstallationState state;
        state.name = "shadow:" + std::to_string(index + 1);
        state.time = copy.created;
        state.timeFrom = "shadow copy";
        state.description = copy.guid;
        reading.images.push_back(copy.image);
        std::vector<Candidate> found;
        if (copy.fs != nullptr) {
            reading.trees.emplace_back(new ImageTree(tsk, copy.fs, label + "@" + state.name));
            state.tree = reading.trees.back().get();
            AddInstallationsIn(*state.tree, one.volume, one.dir, found);
        }
        for (const Candidate &there : found)
            if (there.kind == one.kind)
                state.files = there;
        if (state.files.registryFile.empty())
            state.unusable = state.name + " (shadow copy " + copy.guid + ") holds no " +
                             (copy.fs == nullptr ? "file system this program reads" : "such installation");
        states.push_back(state);
    }
}

const ImageTree *ShadowTreeOf(const ShadowReading &reading, const FileTree *tree)
{
    for (const auto &one : reading.trees)
        if (one.get() == tree)
            return one.get();
    return nullptr;
}
