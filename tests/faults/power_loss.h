// power_loss.h - what a power loss could leave of a run's files: a folder
// on a disk that keeps only what was synced, driven by the run's seam log
// (seam_log.h).
//
// A file's writes and size changes since its last sync are held; at a
// power loss each may reach the disk or not, and a write may reach it in
// part (a range of its bytes at any offset lost, the file keeping its older
// bytes there: stdio hands bytes to the system at any time up to the next
// flush, and the system writes them back in any order). A creation, removal
// or rename not yet followed by a sync of its folder may be lost: a created
// file vanishes, a removed one comes back, a renamed one has its old name.
// Everything synced is kept exactly.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/fault_seam.h"

// One call of the log.
struct SeamRecord {
    SeamCallKind kind = SeamCallKind::Other;
    std::string name;    // the file of a stream call, or the name of a call by name
    std::string to;      // Rename: the new name
    int64_t offset = 0;  // Write: where the bytes go
    int64_t size = 0;    // Resize: the new size
    std::string bytes;   // Write: what goes there
};

// The log's records in order. False, with *error saying why, when the log
// is cut short or holds a kind this model does not know.
bool ReadSeamLog(const std::filesystem::path& log, std::vector<SeamRecord>* records,
                 std::string* error);

// A folder's regular files: name (relative to the folder) to bytes.
using FolderFiles = std::map<std::string, std::string>;

// What a power loss takes of what is not durable yet.
enum class Loss {
    Nothing,  // all of it reaches the disk, as when only the process is killed
    All,      // none of it does
    Sample,   // a subset drawn from the random source, pieces of writes too
};

class DiskModel {
public:
    // The folder holding these files, all of them durable.
    explicit DiskModel(const FolderFiles& initial);

    // Makes the call as the system would. A call by name that the system
    // refuses (a creation where a file is, a removal or rename of nothing)
    // changes nothing. False, with *error, for a call on a file that has no
    // name in the folder (the model follows files by name).
    bool apply(const SeamRecord& record, std::string* error);

    // The files as the process sees them: everything it did.
    FolderFiles current() const;

    // How many changes are not durable yet: writes, size changes and
    // changes of names.
    size_t pending() const;

    // Puts in *files a state a power loss now could leave (what *files
    // held is replaced; passing the last state again reuses its room).
    void after_power_loss(Loss loss, std::mt19937_64& random, FolderFiles* files) const;

private:
    // A write (bytes at offset) or, when resize, a size change to size.
    struct Change {
        bool resize = false;
        int64_t offset = 0;
        int64_t size = 0;
        std::string bytes;
    };
    struct Inode {
        std::string durable;
        std::vector<Change> pending;
    };
    struct NameChange {
        SeamCallKind kind;
        std::string name;
        std::string to;
        size_t inode;
    };
    using Names = std::map<std::string, size_t>;

    static void replay(const Change& change, std::string* file);
    static void apply_name(const NameChange& change, Names* names);
    bool file_named(const std::string& name, size_t* inode, std::string* error) const;

    std::vector<Inode> inodes_;
    Names durable_names_;
    Names current_names_;
    std::vector<NameChange> pending_names_;
};
