// The roll book as a file, whatever its format: the real file behind the path, its lock
// files, the stamp that tells another program's save, and a replacement that never loses a
// write or leaves half a file. Internal to the engine.
#pragma once

#include "platform/workbook/LockFile.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <sys/types.h>
#include <vector>

namespace rostrel::workbook {

// What tells one version of a file from another: the inode (a save by rename makes a new one),
// size, modification time and change time (a rewrite in place that keeps size and
// modification time, as `cp -p` does, still changes the change time).
struct FileStamp {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};
    static FileStamp of(const struct stat& st);
    bool operator==(const FileStamp& o) const;
};

class FileSession {
public:
    // Resolves `path` to the real file once (links followed) and opens its folder: every later
    // step works on that folder and that name, whatever happens to the links. Throws
    // WorkbookError Io.
    explicit FileSession(const std::string& path);
    ~FileSession();
    FileSession(const FileSession&) = delete;
    FileSession& operator=(const FileSession&) = delete;

    const std::string& realPath() const { return real_; }

    // The whole file, and its stamp remembered. Refuses what is not a regular file (a FIFO
    // does not hang it). Throws WorkbookError Io.
    std::vector<uint8_t> read();
    // The file on disk is no longer the one read (or saved) last.
    bool changedOnDisk() const;
    // The file and its folder can be written.
    bool writable() const;
    // Takes this program's lock file beside the real file, after removing temporary files that
    // killed saves of this file left; false when another program holds the file.
    bool claim();
    bool claimed() const { return lock_.held(); }
    void release();

    // Replaces the file's content with `bytes`, holding the OS lock: checks the stamp, writes a
    // temporary file beside it (permissions, owner, ACLs and extended attributes kept, group
    // access never widened), flushes it, checks the stamp again and renames it over the file.
    // Throws WorkbookError Conflict (changed since read) or Io (including a file with other
    // hard links, which a rename would split: it is refused, never written). On any failure
    // the file is as it was.
    void replace(const std::vector<uint8_t>& bytes);

private:
    void removeStaleTemps();

    std::string real_;
    std::string name_;
    int dir_ = -1;
    FileStamp stamp_;
    LockFile lock_;
};

} // namespace rostrel::workbook
