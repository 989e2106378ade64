// power_loss.cpp - the seam log read back, and the disk that keeps only
// what was synced.
#include "power_loss.h"

#include <algorithm>
#include <cmath>
#include <fstream>

#include "seam_log.h"

namespace {

// A write past the end leaves a hole of zeros before it.
void WriteAt(std::string* file, int64_t offset, const char* bytes, int64_t count) {
    if (count <= 0) return;
    const size_t end = static_cast<size_t>(offset + count);
    if (file->size() < end) file->resize(end, '\0');
    std::copy(bytes, bytes + count, file->begin() + offset);
}

// An offset in a write of length bytes, at any distance from its start or
// its end but as often a few bytes away as thousands: where a size or a
// boundary is judged, one byte decides.
int64_t NearAnEnd(int64_t length, std::mt19937_64& random) {
    const double scale = std::uniform_real_distribution<double>(0.0, 1.0)(random);
    const double reach = std::exp(scale * std::log(static_cast<double>(length)));
    const int64_t distance = std::min(length - 1, static_cast<int64_t>(reach) - 1);
    return std::bernoulli_distribution(0.5)(random) ? distance : length - 1 - distance;
}

// The folder a name is in, "" for the run's own.
std::string FolderOf(const std::string& name) {
    const size_t slash = name.find_last_of('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash);
}

}  // namespace

bool ReadSeamLog(const std::filesystem::path& log, std::vector<SeamRecord>* records,
                 std::string* error) {
    std::ifstream in(log, std::ios::binary);
    if (!in) {
        *error = "no seam log at " + log.string();
        return false;
    }
    records->clear();
    SeamLogHead head;
    while (in.read(reinterpret_cast<char*>(&head), sizeof head)) {
        SeamRecord record;
        record.kind = static_cast<SeamCallKind>(head.kind);
        record.name.resize(head.name_size);
        record.to.resize(head.to_size);
        record.offset = head.offset;
        record.size = head.size;
        const bool write = record.kind == SeamCallKind::Write;
        if (write) record.bytes.resize(static_cast<size_t>(std::max<int64_t>(0, head.size)));
        if (head.kind > static_cast<uint32_t>(SeamCallKind::SyncFolder) ||
            !in.read(record.name.data(), head.name_size) ||
            !in.read(record.to.data(), head.to_size) ||
            !in.read(record.bytes.data(), static_cast<std::streamsize>(record.bytes.size()))) {
            *error = "seam log record " + std::to_string(records->size() + 1) +
                     " is cut short or of an unknown kind " + std::to_string(head.kind);
            return false;
        }
        records->push_back(std::move(record));
    }
    if (in.gcount() != 0) {
        *error = "seam log ends inside a record";
        return false;
    }
    return true;
}

DiskModel::DiskModel(const FolderFiles& initial) {
    for (const auto& [name, bytes] : initial) {
        durable_names_[name] = inodes_.size();
        inodes_.push_back({bytes, {}});
    }
    current_names_ = durable_names_;
}

bool DiskModel::file_named(const std::string& name, size_t* inode, std::string* error) const {
    const auto found = current_names_.find(name);
    if (found == current_names_.end()) {
        *error = "a call on \"" + name + "\", which is no file of the folder";
        return false;
    }
    *inode = found->second;
    return true;
}

void DiskModel::replay(const Change& change, std::string* file) {
    if (change.resize) {
        file->resize(static_cast<size_t>(change.size), '\0');
    } else {
        const int64_t length = static_cast<int64_t>(change.bytes.size());
        WriteAt(file, change.offset, change.bytes.data(), length);
    }
}

void DiskModel::apply_name(const NameChange& change, Names* names) {
    switch (change.kind) {
    case SeamCallKind::Create:
        (*names)[change.name] = change.inode;
        break;
    case SeamCallKind::Remove:
        names->erase(change.name);
        break;
    case SeamCallKind::Rename:
        // A lost creation leaves nothing to rename.
        if (names->count(change.name) == 0) break;
        (*names)[change.to] = (*names)[change.name];
        names->erase(change.name);
        break;
    default:
        break;
    }
}

bool DiskModel::apply(const SeamRecord& record, std::string* error) {
    size_t inode = 0;
    switch (record.kind) {
    case SeamCallKind::Other:
        return true;
    case SeamCallKind::Write:
    case SeamCallKind::Resize: {
        if (!file_named(record.name, &inode, error)) return false;
        const bool resize = record.kind == SeamCallKind::Resize;
        inodes_[inode].pending.push_back({resize, record.offset, record.size, record.bytes});
        return true;
    }
    case SeamCallKind::SyncFile: {
        if (!file_named(record.name, &inode, error)) return false;
        Inode& file = inodes_[inode];
        for (const Change& change : file.pending) replay(change, &file.durable);
        file.pending.clear();
        return true;
    }
    case SeamCallKind::Create:
    case SeamCallKind::Remove:
    case SeamCallKind::Rename: {
        const bool exists = current_names_.count(record.name) != 0;
        if (record.kind == SeamCallKind::Create ? exists : !exists) return true;  // refused
        NameChange change{record.kind, record.name, record.to, inodes_.size()};
        if (record.kind == SeamCallKind::Create) inodes_.push_back({});
        apply_name(change, &current_names_);
        pending_names_.push_back(std::move(change));
        return true;
    }
    case SeamCallKind::SyncFolder: {
        const std::string folder = FolderOf(record.name);
        const auto in_folder = [&folder](const NameChange& change) {
            return FolderOf(change.name) == folder &&
                   (change.kind != SeamCallKind::Rename || FolderOf(change.to) == folder);
        };
        for (const NameChange& change : pending_names_) {
            if (in_folder(change)) apply_name(change, &durable_names_);
        }
        const auto synced = std::remove_if(pending_names_.begin(), pending_names_.end(), in_folder);
        pending_names_.erase(synced, pending_names_.end());
        return true;
    }
    }
    *error = "a call of an unknown kind";
    return false;
}

FolderFiles DiskModel::current() const {
    FolderFiles files;
    for (const auto& [name, inode] : current_names_) {
        std::string bytes = inodes_[inode].durable;
        for (const Change& change : inodes_[inode].pending) replay(change, &bytes);
        files[name] = std::move(bytes);
    }
    return files;
}

size_t DiskModel::pending() const {
    size_t count = pending_names_.size();
    for (const Inode& inode : inodes_) count += inode.pending.size();
    return count;
}

void DiskModel::after_power_loss(Loss loss, std::mt19937_64& random, FolderFiles* files) const {
    // One chance of keeping each change, drawn per state, so that the
    // states range from almost everything kept to almost nothing.
    const double keep = std::uniform_real_distribution<double>(0.0, 1.0)(random);
    const auto kept = [&] {
        return loss == Loss::Nothing ||
               (loss == Loss::Sample && std::bernoulli_distribution(keep)(random));
    };
    Names names = durable_names_;
    for (const NameChange& change : pending_names_) {
        if (kept()) apply_name(change, &names);
    }
    for (auto file = files->begin(); file != files->end();) {
        file = names.count(file->first) ? std::next(file) : files->erase(file);
    }
    // Filled in place: the strings keep their room from one state to the
    // next. A file with two names is drawn for once.
    std::map<size_t, const std::string*> drawn;
    for (const auto& [name, inode] : names) {
        std::string& bytes = (*files)[name];
        const auto before = drawn.find(inode);
        if (before != drawn.end()) {
            bytes = *before->second;
            continue;
        }
        drawn[inode] = &bytes;
        bytes.assign(inodes_[inode].durable);
        for (const Change& change : inodes_[inode].pending) {
            const int64_t length = static_cast<int64_t>(change.bytes.size());
            if (kept()) {
                replay(change, &bytes);
            } else if (loss == Loss::Sample && !change.resize && length > 1 &&
                       std::bernoulli_distribution(0.5)(random)) {
                // Lost in part: the bytes from first to last are not
                // written. Often the piece lost is the write's start or
                // end.
                std::uniform_int_distribution<int> where(0, 3);
                const int kind = where(random);
                int64_t first = kind == 0 ? 0 : NearAnEnd(length, random);
                int64_t last = kind == 1 ? length - 1 : NearAnEnd(length, random);
                if (first > last) std::swap(first, last);
                WriteAt(&bytes, change.offset, change.bytes.data(), first);
                WriteAt(&bytes, change.offset + last + 1, change.bytes.data() + last + 1,
                        length - last - 1);
            }
        }
    }
}
