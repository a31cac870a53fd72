// Both finders against a plain search of every distance, up to the window's far end and the
// longest match, across window slides, after starting over on new input, and after their
// positions have been moved down before they run out of 32 bits: at each position the tree
// finder must list every match longer than all nearer ones, the chain finder (searching its
// whole chain) the longest at its nearest distance.
#include "MatchFinder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace lzcodec {
namespace {

constexpr uint32_t kMaxMatch = 256;
constexpr uint32_t kLookahead = kMaxMatch + 4;

TTreeFinder::TParams Params(int dictBits) {
  // A depth no input here reaches: the tree's answers are then exact.
  return {{dictBits, (1u << dictBits) - 1, kMaxMatch, kLookahead, 16}, 1u << 30};
}

// Every position's matches: the reference tries each earlier position with the same first
// three bytes, from the nearest on.
std::vector<std::vector<TMatch>> Reference(const std::vector<uint8_t>& in, uint32_t maxDist) {
  std::vector<std::vector<TMatch>> all(in.size());
  std::unordered_map<uint32_t, std::vector<uint32_t>> seen; // positions by their first three bytes
  for (size_t pos = 0; pos + TLzWindow::kMinMatch <= in.size(); ++pos) {
    const size_t limit = std::min<size_t>(kMaxMatch, in.size() - pos);
    auto& same = seen[static_cast<uint32_t>(in[pos] << 16 | in[pos + 1] << 8 | in[pos + 2])];
    uint32_t best = TLzWindow::kMinMatch - 1;
    for (auto it = same.rbegin(); it != same.rend() && pos - *it <= maxDist; ++it) {
      uint32_t len = 0;
      while (len < limit && in[*it + len] == in[pos + len]) ++len;
      if (len > best) {
        best = len;
        all[pos].push_back({len, static_cast<uint32_t>(pos - *it)});
      }
    }
    same.push_back(static_cast<uint32_t>(pos));
  }
  return all;
}

// Feeds input as the encoders do (keeping a lookahead until the end) and lists every position's
// matches.
std::vector<std::vector<TMatch>> Found(TTreeFinder& f, const std::vector<uint8_t>& in) {
  std::vector<std::vector<TMatch>> all;
  std::vector<TMatch> out(300);
  std::span<const uint8_t> rest(in);
  for (;;) {
    if (!rest.empty()) rest = rest.subspan(f.Fill(rest));
    while (f.Lookahead() > 0 && (rest.empty() || f.Lookahead() >= kLookahead)) {
      const size_t n = f.Matches(out);
      all.emplace_back(out.begin(), out.begin() + static_cast<long>(n));
      f.Next();
    }
    if (rest.empty()) return all;
  }
}

bool Same(const std::vector<TMatch>& a, const std::vector<TMatch>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const TMatch& x, const TMatch& y) { return x.length == y.length && x.dist == y.dist; });
}

// The first position where the lists differ, or "" when none does.
std::string Mismatch(const std::vector<std::vector<TMatch>>& got, const std::vector<std::vector<TMatch>>& want) {
  if (got.size() != want.size()) return "positions " + std::to_string(got.size()) + " != " + std::to_string(want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    if (Same(got[i], want[i])) continue;
    std::string s = "at " + std::to_string(i) + ": got";
    for (const auto& m : got[i]) s += " " + std::to_string(m.length) + "@" + std::to_string(m.dist);
    s += ", want";
    for (const auto& m : want[i]) s += " " + std::to_string(m.length) + "@" + std::to_string(m.dist);
    return s;
  }
  return "";
}

std::vector<uint8_t> Random(size_t n, uint32_t seed, int alphabet) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng() % static_cast<uint32_t>(alphabet));
  return v;
}

// A random unit repeated: matches lie exactly `period` back.
std::vector<uint8_t> Periodic(uint32_t period, size_t n, uint32_t seed) {
  const auto unit = Random(period, seed, 256);
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = unit[i % period];
  return v;
}

struct TCase {
  std::string what;
  int dictBits;
  std::vector<uint8_t> input;
};

std::vector<TCase> Cases() {
  std::vector<TCase> c;
  for (int bits : {13, 15, 16}) {
    const uint32_t window = 1u << bits;
    const std::string w = " (" + std::to_string(window) + " window)";
    c.push_back({"repeats at the longest distance" + w, bits, Periodic(window - 1, 3 * window + 1000, 1)});
    c.push_back({"repeats one byte out of reach" + w, bits, Periodic(window, 3 * window + 1000, 2)});
    c.push_back({"a run longer than the longest match" + w, bits, std::vector<uint8_t>(3 * kMaxMatch + 7, 'a')});
  }
  // Few symbols: many matches of every length, deep trees, window slides.
  c.push_back({"four symbols over several windows", 13, Random(40000, 3, 4)});
  c.push_back({"two symbols", 13, Random(30000, 4, 2)});
  // Runs and random stretches: long matches that end just before the end of input.
  auto mixed = Random(30000, 5, 256);
  for (size_t i = 0; i < mixed.size(); i += 7000) std::fill_n(mixed.begin() + static_cast<long>(i), 300 + i % 1000, uint8_t{7});
  c.push_back({"runs and noise", 13, mixed});
  c.push_back({"three bytes", 13, {1, 2, 3}});
  c.push_back({"a repeat reaching the last byte", 13, {1, 2, 3, 4, 1, 2, 3, 4}});
  return c;
}

TEST(TreeFinder, ListsEveryNearestMatchByLength) {
  for (const auto& tc : Cases()) {
    TTreeFinder f(Params(tc.dictBits));
    EXPECT_EQ(Mismatch(Found(f, tc.input), Reference(tc.input, (1u << tc.dictBits) - 1)), "") << tc.what;
  }
}

// A finder used for one input after another answers the second as a new one would: nothing of
// the first is reachable, whatever the tables still hold.
TEST(TreeFinder, StartingOverForgetsThePreviousInput) {
  const auto first = Random(20000, 6, 4);
  const auto second = Random(20000, 6, 4); // the same bytes: any reach back would show
  TTreeFinder reused(Params(13));
  Found(reused, first);
  reused.Restart();
  TTreeFinder fresh(Params(13));
  EXPECT_EQ(Mismatch(Found(reused, second), Found(fresh, second)), "");
}

// Positions count up across inputs and slides, and are moved down before 2^31: the answers stay
// those of a new finder whether that move comes as an input starts or while one slides through
// the window. Each start on empty input moves the positions on by one window (8192) from the
// window's own size, so 2^31 comes with the 262143rd start.
TEST(TreeFinder, AnswersSurviveMovingPositionsDown) {
  const auto input = Random(5 * 8192 + 500, 7, 4);
  TTreeFinder fresh(Params(13));
  const auto want = Found(fresh, input);
  const struct {
    const char* what;
    uint32_t starts;
  } cases[] = {{"moved while sliding", 262140}, {"moved as the input starts", 262143}};
  for (const auto& tc : cases) {
    TTreeFinder f(Params(13));
    for (uint32_t i = 0; i < tc.starts; ++i) f.Restart();
    EXPECT_EQ(Mismatch(Found(f, input), want), "") << tc.what;
  }
}

// The chain finder as the fast parses feed it, every position searched from scratch: per
// position the longest match (length 2 for none) and its distance.
std::vector<TMatch> Longest(TMatchFinder& f, const std::vector<uint8_t>& in) {
  std::vector<TMatch> all;
  std::span<const uint8_t> rest(in);
  for (;;) {
    if (!rest.empty()) rest = rest.subspan(f.Fill(rest));
    while (f.Lookahead() > 0 && (rest.empty() || f.Lookahead() >= kLookahead)) {
      TMatch m{TLzWindow::kMinMatch - 1, 0};
      if (f.Lookahead() >= TLzWindow::kMinMatch) {
        const uint32_t cand = f.InsertCurrent();
        m.length = f.LongestMatch(cand, m.length, m.dist);
      }
      all.push_back(m);
      f.Skip(1);
    }
    if (rest.empty()) return all;
  }
}

TMatchFinder::TParams ChainParams(int dictBits) {
  // A chain no input here exhausts: its answers are then exact.
  return {{dictBits, (1u << dictBits) - 1, kMaxMatch, kLookahead, 16}, 1 << 30, 1 << 30, static_cast<int>(kMaxMatch)};
}

// Chains hold four-byte matches; a three-byte one comes from the nearest position with the same
// three-byte hash, so it may be missed when another three bytes share that hash, never made up.
std::string ChainMismatch(const std::vector<TMatch>& got, const std::vector<std::vector<TMatch>>& want,
                          const std::vector<uint8_t>& in) {
  if (got.size() != want.size()) return "positions " + std::to_string(got.size()) + " != " + std::to_string(want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    const TMatch w = want[i].empty() ? TMatch{TLzWindow::kMinMatch - 1, 0} : want[i].back();
    const TMatch g = got[i];
    const bool real = g.length < TLzWindow::kMinMatch ||
                      (g.dist >= 1 && g.dist <= i && std::equal(in.begin() + static_cast<long>(i - g.dist),
                                                                in.begin() + static_cast<long>(i - g.dist + g.length),
                                                                in.begin() + static_cast<long>(i)));
    const bool right = w.length > TLzWindow::kMinMatch ? g.length == w.length && g.dist == w.dist
                                                       : g.length <= w.length;
    if (real && right) continue;
    return "at " + std::to_string(i) + ": got " + std::to_string(g.length) + "@" + std::to_string(g.dist) + ", want " +
           std::to_string(w.length) + "@" + std::to_string(w.dist);
  }
  return "";
}

TEST(ChainFinder, FindsTheLongestMatchAtItsNearestDistance) {
  for (const auto& tc : Cases()) {
    TMatchFinder f(ChainParams(tc.dictBits));
    EXPECT_EQ(ChainMismatch(Longest(f, tc.input), Reference(tc.input, (1u << tc.dictBits) - 1), tc.input), "")
        << tc.what;
  }
}

// Three-byte matches on text, where they are common: almost all are found.
TEST(ChainFinder, FindsThreeByteMatches) {
  std::vector<uint8_t> text;
  for (int i = 0; text.size() < 20000; ++i) {
    const std::string line = "int f" + std::to_string(i * 7919 % 1000) + "(x" + std::to_string(i % 97) + ");\n";
    text.insert(text.end(), line.begin(), line.end());
  }
  TMatchFinder f(ChainParams(13));
  const auto got = Longest(f, text);
  const auto want = Reference(text, 8191);
  size_t three = 0, found = 0;
  for (size_t i = 0; i < got.size(); ++i) {
    if (want[i].empty() || want[i].back().length != TLzWindow::kMinMatch) continue;
    ++three;
    found += got[i].length == TLzWindow::kMinMatch;
  }
  ASSERT_GT(three, 100u);
  EXPECT_GT(found * 100, three * 95) << found << " of " << three;
}

// As for the tree finder: each start on empty input moves the positions one window on, so the
// move down comes while sliding after 262140 starts and as the input starts after 262143.
TEST(ChainFinder, AnswersSurviveStartingOverAndMovingPositionsDown) {
  // Sixteen symbols: three-byte matches are common, so the three-byte heads are read too.
  const auto input = Random(5 * 8192 + 500, 8, 16);
  TMatchFinder fresh(ChainParams(13));
  const auto want = Longest(fresh, input);
  const struct {
    const char* what;
    bool sameInputBefore; // any reach back into it would show
    uint32_t starts;
  } cases[] = {{"started over", true, 1}, {"moved while sliding", false, 262140}, {"moved as the input starts", false, 262143}};
  for (const auto& tc : cases) {
    TMatchFinder f(ChainParams(13));
    if (tc.sameInputBefore) Longest(f, input);
    for (uint32_t i = 0; i < tc.starts; ++i) f.Restart();
    const auto got = Longest(f, input);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i)
      ASSERT_TRUE(got[i].length == want[i].length && (got[i].length < TLzWindow::kMinMatch || got[i].dist == want[i].dist))
          << tc.what << ", at " << i;
  }
}

}  // namespace
}  // namespace lzcodec
