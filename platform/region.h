#pragma once

#include "platform/bitmap.h"
#include "platform/matrix.h"
#include "platform/region_path.h"
#include "platform/row_spans.h"
#include "platform/status.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quadrel {

// How a region is combined with another. The numbers are the ones the serialised region data and the
// callers have always used; Replace only exists as a combine mode, never as a node.
enum class CombineMode : int32_t { Replace = 0, Intersect = 1, Union = 2, Xor = 3, Exclude = 4, Complement = 5 };

// Node kinds of the serialised region data.
enum class RegionNodeType : uint32_t {
    And = 1,
    Or = 2,
    Xor = 3,
    Exclude = 4,    // left minus right
    Complement = 5, // right minus left
    Rect = 0x10000000,
    Path = 0x10000001,
    Empty = 0x10000002,
    Infinite = 0x10000003,
};

struct RegionNode;
using RegionNodePtr = std::shared_ptr<const RegionNode>;

// One node of a region: a leaf (rectangle, path, empty, infinite) or a combination of two subtrees.
// Nodes never change once built, so regions share them freely.
struct RegionNode {
    RegionNodeType type = RegionNodeType::Empty;
    RectF rect;
    std::shared_ptr<const Path> path;
    RegionNodePtr left;
    RegionNodePtr right;
};

// Limits for region data read from files: deeper or larger trees are refused as damaged.
constexpr int kMaxRegionDepth = 1024;
constexpr size_t kMaxRegionNodes = 65536;
constexpr size_t kMaxRegionPoints = size_t{1} << 20; // over all paths of one region

// An area of the plane built from rectangles and paths by set operations, kept as the tree of its
// construction (which is also its serialised form).
//
// Pixel (x, y) belongs to the region when the point (x, y) lies inside it, edges on the left and top
// counting as inside and edges on the right and bottom as outside, so that neighbouring shapes share no
// pixel and a rectangle from (1, 1) of size (w - 2, h - 2) holds exactly the pixels 1 .. w - 2. Shapes are
// placed on a 1/16-pixel grid and every decision on that grid is made in integer arithmetic, so the point
// test and the row spans agree exactly. A region caches its flattened form; it is not meant for use from
// several threads at once.
class Region {
public:
    // The infinite region, as the platform's default region is.
    Region();
    explicit Region(const RectF& rect);
    explicit Region(const Rect& rect);
    explicit Region(const Path& path);
    explicit Region(RegionNodePtr root);

    static Region infinite();
    static Region empty();

    void makeInfinite();
    void makeEmpty();

    // Combines this region with another: this region is the left operand (Exclude gives this minus other,
    // Complement gives other minus this).
    Status combine(const Region& other, CombineMode mode);
    Status combine(const RectF& rect, CombineMode mode) { return combine(Region(rect), mode); }
    Status combine(const Path& path, CombineMode mode) { return combine(Region(path), mode); }

    Status transform(const Matrix& m);
    Status translate(float dx, float dy);

    // Whether the integer point (pixel) lies inside.
    bool isVisible(int x, int y) const;
    // The pixels of the region within the clip rectangle, as runs sorted by row and x.
    RowSpans rowSpans(const Rect& clip) const;
    // True when no pixel of the clip rectangle lies inside.
    bool isEmpty(const Rect& clip) const;

    bool isInfiniteNode() const { return m_root->type == RegionNodeType::Infinite; }
    bool isEmptyNode() const { return m_root->type == RegionNodeType::Empty; }
    const RegionNodePtr& root() const { return m_root; }

    // The serialised region data: a preamble of the data size and a CRC-32 of what follows it, then the
    // graphics version, the number of child nodes and the node tree in prefix order (the EMF+ region form).
    std::vector<uint8_t> data() const;
    // Reads serialised region data; on damage returns nothing and a reason.
    static std::optional<Region> fromData(std::span<const uint8_t> bytes, std::string& error);

    struct Compiled;

private:
    const Compiled& compiled() const;

    RegionNodePtr m_root;
    mutable std::shared_ptr<const Compiled> m_compiled;
};

using RegionPtr = std::shared_ptr<Region>;

} // namespace quadrel
