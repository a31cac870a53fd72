// Opening a large archive in the backup browser's views: the tree lists the archive once, builds
// itself and hands the records to the list, which fills itself. Times the views against the
// peers' own listing of the same archive, measured in the same run.
//
// Usage: browse_open_bench WORKDIR [MEMBERS]   (default 20000 members in 200 folders)
// The archive is made once with jlha under WORKDIR and reused by later runs.
#include <QApplication>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "ARCHIVES.h"
#include "ArcCtrls.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Wall and processor time of the best of a few runs of f, in milliseconds.
struct Timing {
  double wall = -1, cpu = -1;
};
template <class F>
Timing Best(int runs, F f) {
  Timing best;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    const std::clock_t cpuStart = std::clock();
    f();
    const double wall = MsSince(start);
    const double cpu = 1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    if (best.wall < 0 || wall < best.wall) best = {wall, cpu};
  }
  return best;
}

// The bare listing the views make through the archive component, without any view.
std::size_t ListOnce(const std::string& archive) {
  TArchiveFile file;
  file.SetFileName(archive);
  file.OpenArchive(0, 0);
  TMemberRecord rec{};
  std::size_t n = 0;
  for (int rc = file.FindFirst("*.*", rec); rc == 0; rc = file.FindNext(rec)) ++n;
  file.CloseArchive();
  return n;
}

// Best of a few runs of a shell command, in milliseconds; negative when it fails.
double TimeCommand(const std::string& cmd, int runs) {
  double best = -1;
  for (int i = 0; i < runs; ++i) {
    auto start = Clock::now();
    if (std::system((cmd + " >/dev/null 2>&1").c_str()) != 0) return -1;
    double ms = MsSince(start);
    if (best < 0 || ms < best) best = ms;
  }
  return best;
}

std::string MakeArchive(const fs::path& work, int members) {
  const fs::path archive = work / ("browse_" + std::to_string(members) + ".lzh");
  if (fs::exists(archive)) return archive.string();
  const fs::path base = work / ("browse_" + std::to_string(members) + "_files");
  fs::remove_all(base);
  const int perFolder = 100;
  for (int i = 0; i < members; ++i) {
    const fs::path dir = base / ("dir" + std::to_string(i / perFolder)) / ("sub" + std::to_string(i % 4));
    fs::create_directories(dir);
    std::ofstream(dir / ("file" + std::to_string(i) + (i % 3 == 0 ? ".txt" : i % 3 == 1 ? ".jpg" : ".dat")))
        << "member " << i << " of the benchmark archive\n";
  }
  std::fprintf(stderr, "making %s with jlha (once)...\n", archive.c_str());
  const std::string cmd = "cd '" + base.string() + "' && jlha a '" + archive.string() + "' dir* >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) {
    std::fprintf(stderr, "jlha failed: %s\n", cmd.c_str());
    std::exit(1);
  }
  fs::remove_all(base);
  return archive.string();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s WORKDIR [MEMBERS]\n", argv[0]);
    return 2;
  }
  const fs::path work = argv[1];
  const int members = argc > 2 ? std::atoi(argv[2]) : 20000;
  fs::create_directories(work);
  const std::string archive = MakeArchive(work, members);

  int qargc = 1;
  char name[] = "browse_open_bench";
  char* qargv[] = {name, nullptr};
  QApplication app(qargc, qargv);

  TArcTreeView tree;
  TArcListView list;
  tree.SetArcListView(&list);
  list.SetShowFolder(true);
  tree.resize(153, 500);
  list.resize(640, 500);
  tree.show();
  list.show();

  constexpr int runs = 3;
  const Timing listing = Best(runs, [&] { ListOnce(archive); });
  const Timing open = Best(runs, [&] {
    tree.LoadArchive(archive);
    QApplication::processEvents();  // the first paint of both views
  });
  const std::string all = tree.NodePath(tree.topLevelItem(0));
  const Timing flat = Best(runs, [&] { list.ShowPath(all); });
  const Timing root = Best(runs, [&] {
    tree.SelectPath("Root/");
    QApplication::processEvents();
  });
  tree.SelectPath(all);
  int nodes = 0;
  for (QTreeWidgetItemIterator it(&tree); *it; ++it) ++nodes;

  std::printf("archive: %s, %zu members, %d tree nodes, %zu rows listed flat\n", archive.c_str(),
              list.Members().size(), nodes, list.Items().size());
  std::printf("bare listing through the component: %.1f ms (cpu %.1f ms)\n", listing.wall, listing.cpu);
  std::printf("views: open (one listing, tree and list filled): %.1f ms (cpu %.1f ms)\n", open.wall, open.cpu);
  std::printf("views: list refilled with every file flat: %.1f ms; Root/ selected: %.1f ms\n", flat.wall,
              root.wall);
  std::printf("views beyond their listing: %.1f ms (cpu %.1f ms)\n", open.wall - listing.wall,
              open.cpu - listing.cpu);
  const struct {
    const char* name;
    std::string cmd;
    const char* aim;
  } peers[] = {{"lhasa l", "lhasa l '" + archive + "'", " (aim <= 2)"}, {"jlha l", "jlha l '" + archive + "'", ""}};
  for (const auto& p : peers) {
    double ms = TimeCommand(p.cmd, runs);
    if (ms < 0) {
      std::printf("%s: not available\n", p.name);
      continue;
    }
    std::printf("%s: %.1f ms; views open / peer = %.2f%s\n", p.name, ms, open.wall / ms, p.aim);
  }
  return 0;
}
