#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "platform/unique_fd.h"

#ifdef _WIN32
// Named objects live in the user's own session on Windows: no other user can
// own one of ours, so an owner is only ever the user themself.
using uid_t = unsigned;
#endif

namespace platform {

// A wait for a lock that another process holds stays silent this long; then it
// is reported once, and goes on. Cooperating processes hold their locks for
// microseconds, so only a stuck or hostile holder is ever reported.
inline constexpr int LOCK_WAIT_NOTICE_MS = 5000;
// Told the object's name when a wait passes LOCK_WAIT_NOTICE_MS.
using LockWaitNotice = void (*)(const char* object_name);

// Opens the POSIX shared-memory object `name` (mode 0600, close-on-exec) and
// holds it: the descriptor keeps a shared flock for as long as it stays open,
// and the object counts as existing only while some process holds it that way.
// An opener that finds no other holder treats the object as new, whatever a file
// left behind holds: it zeroes the first `size` bytes (*existed = false).
// Otherwise *existed = true. Either way the object is at least `size` bytes long.
//
// The object must be ours: one that another user owns, even one we may not
// open, is refused (-1, errno EPERM, *owner its uid) before any lock is asked
// for, since its owner could rewrite it or hold its lock for ever; so is one
// with more than one name (errno EMLINK: whoever holds the other name holds
// these bytes) and one that is no regular file (errno ENODEV). One of ours
// that others may read or write gets mode 0600 back. *owner is the object's owner whenever it could
// be learnt. Returns the descriptor, or -1 with errno.
int open_shared_object(const char* name, std::size_t size, bool* existed, uid_t* owner,
                       LockWaitNotice notice);

// The name under which the object base is the calling user's own: on Linux
// "/<base>.<uid>", as every user's objects share one directory; on Windows
// base itself, as named objects are the user's own session's.
std::string user_object_name(const char* base);

// Whether open_shared_object failed on name (with error, and *owner as it
// gave it) because another user owns the object: then true with that user's
// name and where the object lives, for a line that tells what to do. Never
// on Windows, where no other user can own one of ours.
bool owned_by_another_user(const char* name, int error, uid_t owner, std::string* owner_name,
                           std::string* location);
// Opens the object `name` read-only for a process that only reads it: never
// creates, extends, zeroes or changes it (a missing one: -1, errno ENOENT). It
// holds it as open_shared_object does; when no other process holds it, the
// object is new and its bytes mean nothing (*existed = false). Refuses what
// open_shared_object refuses.
int open_shared_object_for_reading(const char* name, bool* existed, uid_t* owner,
                                   LockWaitNotice notice);

// Where the object name lives, for a line that tells the user what to
// remove: on Linux its file under /dev/shm; on Windows the name itself.
std::string shared_object_location(const char* name);
// Whether name can name a shared-memory object at all: on Linux one file in
// /dev/shm ("/" and a base that is not ".", ".." or empty, has no other '/'
// and fits a file name). A line about any other name never advises removing
// what it would point at.
bool usable_object_name(const char* name);
// Whether something that is not a regular file (a directory, a symbolic link,
// a socket, a device...) stands in name's place, as looked at without
// following it: for the line when the object could not be opened.
bool occupied_by_non_file(const char* name);
// How many names the object has (its hard links); 1 where there is no other
// way to reach it (Windows), 0 when it cannot be looked at.
unsigned shared_object_links(const char* name);

// Whether the object held through fd has lost its name (it was removed while
// held: by hand, or by a logout's clean-up of the user's objects). Never on
// Windows, where a named object lives as long as a process holds it.
bool held_object_removed(int fd);
// Gives the object held through fd back its mode 0600 when others could read
// or write it; nothing on Windows, where named objects are the user's own.
void keep_held_object_private(int fd);

// Lets go of an object that open_shared_object opened; keeps errno.
void close_shared_object(int fd);
using UniqueSharedObject = UniqueDescriptor<close_shared_object>;

// Extends the object to at least size bytes (never shrinks it): 0, or -1 with errno.
int extend_shared(int fd, std::size_t size);

// The whole of [offset, offset + size) read or written with pread/pwrite: no
// view is mapped, so nothing another process does to the object's size can
// raise a signal here. Bytes past the end of a shortened object read as zeros.
// False with errno on failure.
// They go through the stand-in installed with set_shared_bytes, if any.
bool read_shared(int fd, void* dst, std::size_t size, off_t offset);
bool write_shared(int fd, const void* src, std::size_t size, off_t offset);

// The same on the system itself, whatever stand-in is installed.
bool system_read_shared(int fd, void* dst, std::size_t size, off_t offset);
bool system_write_shared(int fd, const void* src, std::size_t size, off_t offset);

// A stand-in for the byte reads and writes, as a test installs one to see what
// is written in which order (platform/fake_shared_memory.h); it may pass each
// call on to the system's.
class SharedBytes {
 public:
  virtual ~SharedBytes() = default;
  virtual bool read(int fd, void* dst, std::size_t size, off_t offset) = 0;
  virtual bool write(int fd, const void* src, std::size_t size, off_t offset) = 0;
};
// Installs replacement (null: the system's again). Uninstall it before it goes.
void set_shared_bytes(SharedBytes* replacement);

// Holds an open-file-description write lock on one byte of a file for its
// lifetime, waiting for it (reported through notice after LOCK_WAIT_NOTICE_MS).
// Processes that hold the lock on the same byte exclude each other, whichever
// descriptor they use; threads sharing one descriptor do not.
class ByteLock {
 public:
  ByteLock(int fd, off_t offset, const char* object_name, LockWaitNotice notice);
  ByteLock(const ByteLock&) = delete;
  ByteLock& operator=(const ByteLock&) = delete;
  ~ByteLock();

  // False when the lock could not be taken; errno then tells why.
  bool locked() const { return m_locked; }

 private:
  int m_fd;
  off_t m_offset;
  bool m_locked;
#ifdef _WIN32
  void* m_mutex = nullptr;  // the named mutex that stands for the byte
#endif
};

// Takes the write lock on one byte without waiting: 0, or -1 with errno
// (EAGAIN when another open file description holds it). Kept until fd closes.
int try_lock_byte(int fd, off_t offset);
// Whether another open file description holds a lock on the byte: 1 or 0, or
// -1 with errno.
int byte_locked_elsewhere(int fd, off_t offset);

}  // namespace platform
