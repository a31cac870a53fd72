#include "CabWriter.h"

#include <archive.h>
#include <archive_entry.h>
#include <libgcab.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <memory>

#include "CabFormat.h"
#include "ErrorCodes.h"
#include "Names.h"
#include "Notifier.h"

namespace cabfmt {
namespace {

// The format's limits: 16-bit member and folder counts, 32-bit member sizes and offsets within
// a folder, at most 65535 data blocks of 32 KiB per folder.
constexpr size_t kMaxMembers = 0xFFFF;
constexpr uint64_t kMaxMemberSize = 0xFFFFFFFFu;
constexpr uint64_t kMaxFolderBytes = 0xFFFFull * 0x8000;

struct TUnref {
  void operator()(gpointer p) const { g_object_unref(p); }
};
template <typename T>
using TGPtr = std::unique_ptr<T, TUnref>;

struct TErrorFree {
  void operator()(GError* e) const { g_error_free(e); }
};
using TError = std::unique_ptr<GError, TErrorFree>;

struct TBytesUnref {
  void operator()(GBytes* b) const { g_bytes_unref(b); }
};

std::string Message(GError* e) { return e != nullptr && e->message != nullptr ? e->message : "unknown error"; }

// One file to go into the cabinet, from disk or carried over from the old archive.
struct TCabMember {
  std::string name;
  uint64_t size = 0;
  TGPtr<GCabFile> file;
};

// The new cabinet's folders: a folder is closed when the next member would overflow it.
class TCabinetBuilder {
 public:
  explicit TCabinetBuilder(bool compress)
      : FCabinet(gcab_cabinet_new()), FCompression(compress ? GCAB_COMPRESSION_MSZIP : GCAB_COMPRESSION_NONE) {}

  bool Add(TCabMember& m, arclib::TOutput& out) {
    if (!FFolder || FFolderBytes + m.size > kMaxFolderBytes) {
      if (!Close(out)) return false;
      FFolder.reset(gcab_folder_new(FCompression));
      FFolderBytes = 0;
    }
    GError* raw = nullptr;
    if (!gcab_folder_add_file(FFolder.get(), m.file.get(), FALSE, nullptr, &raw)) {
      TError e(raw);
      out.PrintableLine("error  " + m.name + ": " + Message(e.get()));
      return false;
    }
    FFolderBytes += m.size;
    return true;
  }

  bool Close(arclib::TOutput& out) {
    if (!FFolder) return true;
    GError* raw = nullptr;
    const bool ok = gcab_cabinet_add_folder(FCabinet.get(), FFolder.get(), &raw);
    TError e(raw);
    if (!ok) out.PrintableLine("cannot add a folder to the cabinet: " + Message(e.get()));
    FFolder.reset();
    return ok;
  }

  GCabCabinet* Cabinet() const { return FCabinet.get(); }

 private:
  TGPtr<GCabCabinet> FCabinet;
  TGPtr<GCabFolder> FFolder;
  int FCompression;
  uint64_t FFolderBytes = 0;
};

// The old archive's members, as data in memory, except those named in Replaced.
int CarryOver(const std::string& path, const std::map<std::string, bool>& replaced, std::vector<TCabMember>& members,
              arclib::TOutput& out) {
  arclib::TArchiveIn in(SetupCabReader);
  if (const int r = in.Open(path); r != 0) {
    out.PrintableLine("cannot read the existing CAB archive: " + path);
    return r;
  }
  archive_entry* entry = nullptr;
  int r = ARCHIVE_OK;
  while ((r = archive_read_next_header(in.Get(), &entry)) == ARCHIVE_OK || r == ARCHIVE_WARN) {
    const arclib::TMemberInfo m = arclib::DescribeEntry(entry);
    if (!m.IsDirectory() && !m.IsSymlink() && replaced.count(m.name) == 0) {
      std::string data;
      char block[65536];
      la_ssize_t n = 0;
      while ((n = archive_read_data(in.Get(), block, sizeof block)) > 0) data.append(block, static_cast<size_t>(n));
      if (n < 0) {
        out.PrintableLine("cannot read the existing member " + m.name + ": " + in.Error());
        return arclib::kErrBrokenData;
      }
      std::unique_ptr<GBytes, TBytesUnref> bytes(g_bytes_new(data.data(), data.size()));
      TGPtr<GCabFile> file(gcab_file_new_with_bytes(m.name.c_str(), bytes.get()));
      GDateTime* when = g_date_time_new_from_unix_utc(m.mtime);
      gcab_file_set_date_time(file.get(), when);
      g_date_time_unref(when);
      gcab_file_set_attributes(file.get(), GCAB_FILE_ATTRIBUTE_ARCH);
      members.push_back({m.name, data.size(), std::move(file)});
    }
  }
  if (r != ARCHIVE_EOF) {
    out.PrintableLine("broken CAB archive: " + in.Error());
    return arclib::kErrHeaderBroken;
  }
  return 0;
}

struct TWriteState {
  std::map<GCabFile*, std::string> names;
  const char* method = "mszip";
  GCancellable* cancel = nullptr;
  bool cancelled = false;
};

gboolean OnMemberWritten(GCabFile* file, gpointer data) {
  auto* state = static_cast<TWriteState*>(data);
  auto it = state->names.find(file);
  if (it == state->names.end()) return TRUE;
  arclib::TMemberProgress p;
  p.source = it->second;
  p.originalSize = gcab_file_get_size(file);
  p.written = p.originalSize;
  p.attribute = "---a-";
  p.method = state->method;
  if (!arclib::TNotifier::Instance().Member(p)) {
    state->cancelled = true;
    g_cancellable_cancel(state->cancel);
    return FALSE;
  }
  return TRUE;
}

// The cabinet into a temporary file beside Path, renamed over it when complete.
int WriteCabinet(const std::string& path, TCabinetBuilder& builder, TWriteState& state, arclib::TOutput& out) {
  if (!builder.Close(out)) return arclib::kErrCannotWrite;
  std::string dir = ".";
  if (const size_t slash = path.rfind('/'); slash != std::string::npos) dir = slash == 0 ? "/" : path.substr(0, slash);
  const std::string base = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
  const std::string temp = dir + "/." + base + ".tk" + std::to_string(::getpid()) + ".tmp";
  TGPtr<GFile> target(g_file_new_for_path(temp.c_str()));
  GError* raw = nullptr;
  TGPtr<GFileOutputStream> stream(
      g_file_replace(target.get(), nullptr, FALSE, G_FILE_CREATE_NONE, nullptr, &raw));
  if (!stream) {
    TError e(raw);
    out.PrintableLine("cannot create the archive: " + Message(e.get()));
    return arclib::kErrFileOpen;
  }
  TGPtr<GCancellable> cancel(g_cancellable_new());
  state.cancel = cancel.get();
  bool ok = gcab_cabinet_write(builder.Cabinet(), G_OUTPUT_STREAM(stream.get()), OnMemberWritten, nullptr, &state,
                               cancel.get(), &raw);
  TError e(raw);
  raw = nullptr;
  ok = g_output_stream_close(G_OUTPUT_STREAM(stream.get()), nullptr, &raw) && ok;
  TError closeError(raw);
  // A cabinet written over an old one keeps the old one's mode.
  struct stat old {};
  if (ok && ::stat(path.c_str(), &old) == 0) ok = ::chmod(temp.c_str(), old.st_mode & 07777) == 0;
  if (ok && ::rename(temp.c_str(), path.c_str()) == 0) return 0;
  ::unlink(temp.c_str());
  if (state.cancelled) {
    out.PrintableLine("cancelled");
    return arclib::kErrUserCancel;
  }
  out.PrintableLine("cannot write the archive: " + Message(e ? e.get() : closeError.get()));
  return arclib::kErrCannotWrite;
}

}  // namespace

int PackCab(const TCabPackRequest& request, arclib::TOutput& out) {
  std::vector<arclib::TPackItem> items;
  arclib::TCollectOptions collect = request.collect;
  collect.folderEntries = false;  // a cabinet has no folder members
  int result = arclib::CollectPackItems(request.baseDir, request.names, collect, items, out);
  std::vector<TCabMember> fresh;
  std::map<std::string, bool> replaced;
  for (const arclib::TPackItem& item : items) {
    struct stat st {};
    if (::lstat(item.path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
    if (!S_ISREG(st.st_mode)) {
      out.PrintableLine("left out " + item.name + ": a CAB archive holds only regular files");
      result = result != 0 ? result : arclib::kErrNotSupport;
      continue;
    }
    if (static_cast<uint64_t>(st.st_size) > kMaxMemberSize) {
      out.PrintableLine("left out " + item.name + ": larger than a CAB member can be (4 GiB)");
      result = result != 0 ? result : arclib::kErrNotSupport;
      continue;
    }
    TGPtr<GFile> source(g_file_new_for_path(item.path.c_str()));
    fresh.push_back({item.name, static_cast<uint64_t>(st.st_size),
                     TGPtr<GCabFile>(gcab_file_new_with_file(item.name.c_str(), source.get()))});
    replaced[item.name] = true;
  }
  std::vector<TCabMember> members;
  if (::access(request.archive.c_str(), F_OK) == 0) {
    if (const int r = CarryOver(request.archive, replaced, members, out); r != 0) return r;
  } else if (fresh.empty()) {
    out.PrintableLine("nothing to pack");
    return result != 0 ? result : arclib::kErrNoMatch;
  }
  std::vector<std::string> added;
  for (TCabMember& m : fresh) {
    added.push_back(m.name);
    members.push_back(std::move(m));
  }
  if (members.size() > kMaxMembers) {
    out.PrintableLine("a CAB archive holds at most 65535 files: nothing written");
    return arclib::kErrNotSupport;
  }
  TCabinetBuilder builder(request.compress);
  TWriteState state;
  state.method = request.compress ? "mszip" : "stored";
  for (TCabMember& m : members) {
    if (!builder.Add(m, out)) return arclib::kErrCannotRead;
    state.names[m.file.get()] = m.name;
  }
  if (const int r = WriteCabinet(request.archive, builder, state, out); r != 0) return r;
  for (const std::string& name : added) out.PrintableLine("a      " + name);
  return result;
}

}  // namespace cabfmt
