// The image child's side of image_root.h: what it reads the image into, the
// record it sends back, and its two calls, which a fuzzer also makes in its
// own process.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/posix/image/image_tree.h"
#include "platform/posix/root/image_logs.h"
#include "platform/posix/root/machine_root.h"
#include "platform/posix/root/shadow_states.h"
#include "platform/posix/root/state_record.h"
#include "platform/posix/sandbox/server_records.h"

// What the child found, as plain bytes through the pipe.
struct ImageAnswer {
    int kind; // InstallationKind
    RecordText<2048> problem; // when no installation was chosen
    RecordText<2048> notes;   // lines for stderr, each ended by '\n': faults in the chain's files read past (always),
                        // then partitions that were not read (when an installation was chosen)
    // For the trace: how DOROVIVI_WINDIR names the installation.
    RecordText<1024> windir;
    RecordText<16> chosenBy;
    ImageFileRecord files; // the registry files, then NT's transaction logs
    // A root that is a machine's configuration: its MachineFormat (0: none),
    // and its disks' paths in the machine's order, each ended by '\n'.
    int machine;
    RecordText<kMachineDiskListLargest> machineDisks;
    int dynamicDisks; // 1: some disk is dynamic, and this child had no reader for it
    int bitlocker;    // 1: some volume is BitLocker's, and this child had no reader for it
    StateRecord state; // DOROVIVI_STATE's, when set
};

// The child's state: the image, trees and files stay open for serving.
struct ImageWork {
    const std::string *root;
    const std::string *windir;
    std::vector<std::unique_ptr<ImageTree>> trees;
    ImageOpenFiles open;
    std::vector<TSK_IMG_INFO *> images; // a machine's disks, in its order
    std::vector<std::string> disks;     // their paths; none: the root is the one disk
    const std::string *snapshot = nullptr; // DOROVIVI_SNAPSHOT, for a machine's configuration
    bool dynamicReader = false;            // libldm is loaded before the child reads
    std::string state = "";                // DOROVIVI_STATE, "" when unset
    std::vector<RecordedDisk> recorded;    // the disks as their configuration records them
    int machineFormat = 0;                 // that configuration's MachineFormat
    bool cryptoReader = false;             // libcrypto is loaded before the child reads
    std::vector<TSK_IMG_INFO *> layers;    // decrypted volumes, closed after their file systems
    ShadowReading shadows;                 // the chosen volume's shadow copies, when a state is asked
};

// `context` is the ImageWork, `record` the ImageAnswer, zeroed.
void ReadImageInChild(void *context, void *record);
// Each request: a read of one of the files the answer names.
void ServeInChild(void *context, const ServerRequest &request, ServerReplyHeader &reply, void *payload);
