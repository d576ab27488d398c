// Reduction of 24-bit colour to an indexed image: two palette builders (a
// 6-level colour tree merged by weight, and a depth-8 octree) and the mapping
// of pixels to a palette with error diffusion.
//
// Colours are handled as three components (first, second, third) that
// correspond to the palette entry's red, green and blue. They are the source
// pixel's bytes 0, 1, 2, or 2, 1, 0 when the source is in the palette's byte
// order (IS_QUANT_SWAPRB).
#include <algorithm>
#include <array>

#include "codec/ops/color_match.h"
#include "codec/ops/ops_internal.h"

namespace qv::codec::ops {

namespace {

using CColour = std::array<uint32_t, 3>;

struct CPixelFormat {
  uint32_t m_nStep;  // bytes per source pixel
  bool m_bSwap;
  CColour At(const uint8_t* p) const { return m_bSwap ? CColour{p[2], p[1], p[0]} : CColour{p[0], p[1], p[2]}; }
};

CPixelFormat PixelFormat(uint32_t flags) {
  return {(flags & IS_QUANT_32BIT) ? 4u : 3u, (flags & IS_QUANT_SWAPRB) != 0};
}

template <class F>
void ForEachPixel(const CSourceView& src, const CPixelFormat& format, F f) {
  for (uint32_t y = 0; y < src.m_nHeight; ++y) {
    const uint8_t* p = src.Row(y);
    for (uint32_t x = 0; x < src.m_nWidth; ++x, p += format.m_nStep) f(format.At(p));
  }
}

ISPalEntry Entry(const CColour& c) { return {uint8_t(c[2]), uint8_t(c[1]), uint8_t(c[0]), 0}; }

// ---- Colour tree (the default builder) ---------------------------------------------

constexpr int kTreeLevels = 6;
constexpr uint32_t kLevelOffset[kTreeLevels] = {0, 1, 9, 73, 585, 4681};
constexpr uint32_t kTreeNodes = 4681 + 32768;

struct CTreeNode {
  uint64_t m_nCount = 0;
  uint64_t m_arrSum[3] = {0, 0, 0};
  uint64_t m_nWeight = 0;
  uint8_t m_nOccupied = 0;  // bit c: child c holds pixels in its subtree
};

class CColourTree {
 public:
  CColourTree() : m_nodes(kTreeNodes) {}

  void Count(const CColour& c) {
    uint32_t index = 0;
    for (int b = 7; b >= 3; --b)
      index = (index << 3) | (((c[0] >> b) & 1) << 2) | (((c[1] >> b) & 1) << 1) | ((c[2] >> b) & 1);
    CTreeNode& leaf = m_nodes[kLevelOffset[5] + index];
    ++leaf.m_nCount;
    for (int k = 0; k < 3; ++k) leaf.m_arrSum[k] += c[k];
  }

  std::vector<ISPalEntry> Build(uint32_t colours) {
    std::vector<uint32_t> heap;
    for (uint32_t index = 0; index < 32768; ++index) {
      const uint32_t id = kLevelOffset[5] + index;
      if (!m_nodes[id].m_nCount) continue;
      const uint64_t weight = m_nodes[id].m_nCount;
      m_nodes[id].m_nWeight = weight;
      uint32_t child = index;
      for (int level = 4; level >= 0; --level) {
        CTreeNode& up = m_nodes[kLevelOffset[level] + (child >> 3)];
        up.m_nWeight += weight;
        up.m_nOccupied |= uint8_t(1u << (child & 7));
        child >>= 3;
      }
      heap.push_back(id);
    }
    for (size_t k = heap.size() / 2; k-- > 0;) SiftDown(heap, k);
    while (heap.size() > colours && Merge(heap)) {
    }
    std::vector<ISPalEntry> palette;
    Emit(0, 0, palette);
    return palette;
  }

 private:
  static int LevelOf(uint32_t id) {
    int level = 0;
    while (level + 1 < kTreeLevels && id >= kLevelOffset[level + 1]) ++level;
    return level;
  }

  // Merges the lightest node into its parent; false at the root.
  bool Merge(std::vector<uint32_t>& heap) {
    const uint32_t id = heap[0];
    const int level = LevelOf(id);
    if (level == 0) return false;
    const uint32_t index = id - kLevelOffset[level];
    CTreeNode& node = m_nodes[id];
    const uint32_t parentId = kLevelOffset[level - 1] + (index >> 3);
    CTreeNode& parent = m_nodes[parentId];
    const bool parentHeld = parent.m_nCount != 0;
    parent.m_nCount += node.m_nCount;
    for (int k = 0; k < 3; ++k) parent.m_arrSum[k] += node.m_arrSum[k];
    node = CTreeNode{};
    parent.m_nOccupied &= uint8_t(~(1u << (index & 7)));
    if (parentHeld) {
      heap[0] = heap.back();
      heap.pop_back();
    } else {
      heap[0] = parentId;
    }
    if (!heap.empty()) SiftDown(heap, 0);
    return true;
  }

  void SiftDown(std::vector<uint32_t>& heap, size_t k) const {
    const size_t n = heap.size();
    for (;;) {
      size_t least = k;
      const size_t l = 2 * k + 1, r = 2 * k + 2;
      if (l < n && Weight(heap[l]) < Weight(heap[least])) least = l;
      if (r < n && Weight(heap[r]) < Weight(heap[least])) least = r;
      if (least == k) return;
      std::swap(heap[k], heap[least]);
      k = least;
    }
  }

  uint64_t Weight(uint32_t id) const { return m_nodes[id].m_nWeight; }

  // Children 7 down to 0 before the node itself.
  void Emit(int level, uint32_t index, std::vector<ISPalEntry>& palette) const {
    const CTreeNode& node = m_nodes[kLevelOffset[level] + index];
    if (level + 1 < kTreeLevels) {
      for (int c = 7; c >= 0; --c) {
        if (node.m_nOccupied & (1u << c)) Emit(level + 1, (index << 3) | uint32_t(c), palette);
      }
    }
    if (!node.m_nCount) return;
    CColour mean;
    for (int k = 0; k < 3; ++k) mean[k] = uint32_t((node.m_arrSum[k] + node.m_nCount / 2) / node.m_nCount);
    palette.push_back(Entry(mean));
  }

  std::vector<CTreeNode> m_nodes;
};

// ---- Octree (IS_QUANT_OCTREE) -------------------------------------------------------

constexpr int kOctreeDepth = 8;

class COctree {
 public:
  explicit COctree(uint32_t colours) : m_nColours(colours) { m_nRoot = NewNode(0); }

  void Add(const CColour& c) {
    int32_t id = m_nRoot;
    for (int level = 0; !m_nodes[id].m_bLeaf; ++level) {
      const int b = 7 - level;
      const uint32_t child = (((c[0] >> b) & 1) << 2) | (((c[1] >> b) & 1) << 1) | ((c[2] >> b) & 1);
      if (m_nodes[id].m_arrChild[child] < 0) {
        const int32_t made = NewNode(level + 1);
        m_nodes[id].m_arrChild[child] = made;
      }
      id = m_nodes[id].m_arrChild[child];
    }
    COctNode& leaf = m_nodes[id];
    ++leaf.m_nCount;
    for (int k = 0; k < 3; ++k) leaf.m_arrSum[k] += c[k];
    while (m_nLeaves > m_nColours && Reduce()) {
    }
  }

  // Leaves in depth-first order (children 0 to 7); false when there are more
  // leaves than colours.
  bool Palette(std::vector<ISPalEntry>& palette) const {
    if (m_nLeaves > m_nColours) return false;
    Emit(m_nRoot, palette);
    return true;
  }

 private:
  struct COctNode {
    uint64_t m_nCount = 0;
    uint64_t m_arrSum[3] = {0, 0, 0};
    int32_t m_arrChild[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    bool m_bLeaf = false;
  };

  int32_t NewNode(int level) {
    int32_t id;
    if (!m_arrFree.empty()) {
      id = m_arrFree.back();
      m_arrFree.pop_back();
      m_nodes[size_t(id)] = COctNode{};
    } else {
      id = int32_t(m_nodes.size());
      m_nodes.emplace_back();
    }
    if (level == kOctreeDepth) {
      m_nodes[size_t(id)].m_bLeaf = true;
      ++m_nLeaves;
    } else {
      m_arrReducible[size_t(level)].push_back(id);
    }
    return id;
  }

  // Merges the most recently listed node of the deepest level that has one.
  bool Reduce() {
    int level = kOctreeDepth - 1;
    while (level >= 0 && m_arrReducible[size_t(level)].empty()) --level;
    if (level < 0) return false;
    const int32_t id = m_arrReducible[size_t(level)].back();
    m_arrReducible[size_t(level)].pop_back();
    COctNode& node = m_nodes[size_t(id)];
    uint32_t children = 0;
    for (int32_t& child : node.m_arrChild) {
      if (child < 0) continue;
      const COctNode& c = m_nodes[size_t(child)];
      node.m_nCount += c.m_nCount;
      for (int k = 0; k < 3; ++k) node.m_arrSum[k] += c.m_arrSum[k];
      m_arrFree.push_back(child);
      child = -1;
      ++children;
    }
    node.m_bLeaf = true;
    m_nLeaves -= children - 1;
    return true;
  }

  void Emit(int32_t id, std::vector<ISPalEntry>& palette) const {
    const COctNode& node = m_nodes[size_t(id)];
    if (node.m_bLeaf) {
      CColour mean;
      for (int k = 0; k < 3; ++k) mean[k] = uint32_t(node.m_arrSum[k] / node.m_nCount);
      palette.push_back(Entry(mean));
      return;
    }
    for (int32_t child : node.m_arrChild) {
      if (child >= 0) Emit(child, palette);
    }
  }

  uint32_t m_nColours;
  uint32_t m_nLeaves = 0;
  int32_t m_nRoot;
  std::vector<COctNode> m_nodes;
  std::vector<int32_t> m_arrFree;
  std::vector<int32_t> m_arrReducible[kOctreeDepth];
};

// ---- Mapping -----------------------------------------------------------------------------

int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return std::min(std::max(v, lo), hi); }

struct CMapSettings {
  CPixelFormat m_format;
  bool m_bDither;
  int32_t m_nLevel;  // errors are limited to +-level
};

// Serpentine walk: even rows left to right, odd rows right to left.
int32_t MapToPalette(CISOperation& op, const CSourceView& src, const CDestView& dst, const ISPalEntry* palette,
                     int32_t count, const CMapSettings& settings) {
  CISColorMatch match(palette, count);
  std::vector<int16_t> cache(32768, -1);
  const size_t width = src.m_nWidth;
  // Carried errors: with dithering in sixteenths per pixel of this row and the
  // next (one guard pixel each side); without, the one-pixel carry.
  std::vector<int32_t> current((width + 2) * 3, 0), next((width + 2) * 3, 0);
  const int32_t level = settings.m_nLevel;
  for (uint32_t y = 0; y < src.m_nHeight; ++y) {
    const bool forward = (y & 1) == 0;
    const ptrdiff_t dir = forward ? 1 : -1;
    const uint8_t* in = src.Row(y);
    uint8_t* out = dst.Row(y);
    int32_t carry[3] = {0, 0, 0};
    for (size_t n = 0; n < width; ++n) {
      const size_t x = forward ? n : width - 1 - n;
      const CColour c = settings.m_format.At(in + x * settings.m_format.m_nStep);
      int32_t* here = &current[(x + 1) * 3];
      int32_t value[3];
      for (int k = 0; k < 3; ++k) {
        const int32_t add = settings.m_bDither ? (here[k] + 8) / 16 : carry[k];
        value[k] = Clamp(int32_t(c[k]) + add, 0, 255);
      }
      const uint32_t key = (uint32_t(value[0] >> 3) << 10) | (uint32_t(value[1] >> 3) << 5) | uint32_t(value[2] >> 3);
      if (cache[key] < 0) cache[key] = match.Lookup(uint32_t(value[2]), uint32_t(value[1]), uint32_t(value[0]));
      const uint8_t index = uint8_t(cache[key]);
      out[x] = index;
      const ISPalEntry& e = palette[index];
      const int32_t chosen[3] = {e.red, e.green, e.blue};
      for (int k = 0; k < 3; ++k) {
        const int32_t err = Clamp(value[k] - chosen[k], -level, level);
        if (settings.m_bDither) {
          here[dir * 3 + k] += 7 * err;
          int32_t* below = &next[(x + 1) * 3 + size_t(k)];
          below[-dir * 3] += 3 * err;
          below[0] += 5 * err;
          below[dir * 3] += err;
        } else {
          carry[k] = err / 2;
        }
      }
    }
    if (settings.m_bDither) {
      current.swap(next);
      std::fill(next.begin(), next.end(), 0);
    }
    if (!op.Progress(int32_t(y), int32_t(src.m_nHeight))) return 0;
  }
  return 1;
}

bool MapArgs(const uint8_t* source, int32_t width, int32_t height, int32_t sourceStride, const uint8_t* dest,
             int32_t destStride, const ISPalEntry* palette, uint32_t flags) {
  return source && dest && palette && NonNegative(width, height, sourceStride, destStride) &&
         StrideHolds(sourceStride, width, PixelFormat(flags).m_nStep) && StrideHolds(destStride, width, 1);
}

CMapSettings MapSettings(uint32_t flags, int32_t dither, int32_t ditherLevel) {
  return {PixelFormat(flags), dither != 0, std::max(ditherLevel, 0)};
}

int32_t Quantize(CISOperation& op, const CSourceView& src, const CDestView& dst, uint32_t colours, ISPalEntry* palette,
                 const CMapSettings& settings, bool octree, int32_t* builtCount) {
  std::vector<ISPalEntry> built;
  if (octree) {
    COctree tree(colours);
    ForEachPixel(src, settings.m_format, [&](const CColour& c) { tree.Add(c); });
    if (!tree.Palette(built)) return op.Fail(IS_ERR_OUTDEPTH, 0);
  } else {
    auto tree = std::make_unique<CColourTree>();
    ForEachPixel(src, settings.m_format, [&](const CColour& c) { tree->Count(c); });
    built = tree->Build(colours);
  }
  std::copy(built.begin(), built.end(), palette);
  if (builtCount) *builtCount = int32_t(built.size());
  // Only the entries just built take part in the mapping: entries after them
  // hold whatever the caller's array held.
  return MapToPalette(op, src, dst, palette, int32_t(built.size()), settings);
}

}  // namespace

}  // namespace qv::codec::ops

using namespace qv::codec;
using namespace qv::codec::ops;

int32_t ISQuantizeRGB(const uint8_t* source, int32_t width, int32_t height, int32_t sourceStride, uint8_t* dest,
                      int32_t destStride, int32_t colorCount, ISPalEntry* palette, int32_t dither, int32_t ditherLevel,
                      uint32_t flags, int32_t* builtCount) {
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!MapArgs(source, width, height, sourceStride, dest, destStride, palette, flags)) {
    return op.Fail(IS_ERR_BADPARAM, 0);
  }
  const uint32_t colours = uint32_t(std::clamp(colorCount, 1, IS_PALETTE_SIZE));
  const CSourceView src = SourceView(source, width, height, sourceStride);
  const CDestView dst = DestView(dest, width, height, destStride);
  return op.Run<int32_t>(0, [&] {
    return Quantize(op, src, dst, colours, palette, MapSettings(flags, dither, ditherLevel),
                    (flags & IS_QUANT_OCTREE) != 0, builtCount);
  });
}

int32_t ISMapRGBToPalette(const uint8_t* source, int32_t width, int32_t height, int32_t sourceStride, uint8_t* dest,
                          int32_t destStride, int32_t paletteCount, const ISPalEntry* palette, int32_t dither,
                          int32_t ditherLevel, uint32_t flags) {
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!MapArgs(source, width, height, sourceStride, dest, destStride, palette, flags) || paletteCount < 0) {
    return op.Fail(IS_ERR_BADPARAM, 0);
  }
  const CSourceView src = SourceView(source, width, height, sourceStride);
  const CDestView dst = DestView(dest, width, height, destStride);
  return op.Run<int32_t>(0, [&] {
    return MapToPalette(op, src, dst, palette, std::min(paletteCount, IS_PALETTE_SIZE),
                        MapSettings(flags, dither, ditherLevel));
  });
}
