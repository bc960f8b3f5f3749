#include "platform/region.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <zlib.h>

namespace quadrel {

namespace {

// Exact products of fixed-point coordinates need more than 64 bits.
__extension__ typedef __int128 Int128;

// Shapes are placed on a grid of 1/16 pixel. Coordinates beyond a billion pixels are clamped: no image
// comes near them and the clamp keeps every product below in 128-bit range.
constexpr int kSubpixel = 16;
constexpr double kCoordLimit = 1073741824.0;

int64_t toFixed(double v) {
    if (!(v == v)) return 0;
    v = std::clamp(v, -kCoordLimit, kCoordLimit);
    return std::llround(v * kSubpixel);
}

// Smallest integer x with x * d >= n, for d > 0.
int64_t ceilDiv(Int128 n, Int128 d) {
    Int128 q = n / d;
    if (q * d < n) ++q;
    return static_cast<int64_t>(q);
}

RegionNodePtr makeLeaf(RegionNodeType type) {
    auto n = std::make_shared<RegionNode>();
    n->type = type;
    return n;
}

const RegionNodePtr& infiniteNode() {
    static const RegionNodePtr node = makeLeaf(RegionNodeType::Infinite);
    return node;
}

const RegionNodePtr& emptyNode() {
    static const RegionNodePtr node = makeLeaf(RegionNodeType::Empty);
    return node;
}

bool isCombine(RegionNodeType t) {
    return static_cast<uint32_t>(t) >= 1 && static_cast<uint32_t>(t) <= 5;
}

struct Edge {
    int64_t x0, y0, x1, y1; // y0 < y1, fixed point
    int dir;                // +1 downwards in the figure, -1 upwards
};

struct Leaf {
    RegionNodeType type = RegionNodeType::Empty;
    int64_t l = 0, t = 0, r = 0, b = 0; // rectangles, fixed point, half-open
    bool winding = false;
    std::vector<Edge> edges;
};

struct Op {
    RegionNodeType type; // a combine type, or Rect for "push leaf"
    uint32_t leaf;
};

using Spans = std::vector<std::pair<int32_t, int32_t>>;

bool combineBits(RegionNodeType op, bool a, bool b) {
    switch (op) {
    case RegionNodeType::And:
        return a && b;
    case RegionNodeType::Or:
        return a || b;
    case RegionNodeType::Xor:
        return a != b;
    case RegionNodeType::Exclude:
        return a && !b;
    case RegionNodeType::Complement:
        return b && !a;
    default:
        return false;
    }
}

// Set operation on two sorted, disjoint span lists of one row.
void combineSpans(RegionNodeType op, const Spans& a, const Spans& b, Spans& out) {
    out.clear();
    constexpr int64_t kEnd = std::numeric_limits<int64_t>::max();
    size_t i = 0, j = 0;
    bool ina = false, inb = false, was = false;
    int64_t start = 0;
    for (;;) {
        const int64_t na = i < a.size() ? (ina ? a[i].second : a[i].first) : kEnd;
        const int64_t nb = j < b.size() ? (inb ? b[j].second : b[j].first) : kEnd;
        const int64_t x = std::min(na, nb);
        if (x == kEnd) break;
        if (na == x) {
            if (ina) ++i;
            ina = !ina;
        }
        if (nb == x) {
            if (inb) ++j;
            inb = !inb;
        }
        const bool now = combineBits(op, ina, inb);
        if (now && !was) start = x;
        if (!now && was && x > start) {
            if (!out.empty() && out.back().second == start)
                out.back().second = static_cast<int32_t>(x);
            else
                out.emplace_back(static_cast<int32_t>(start), static_cast<int32_t>(x));
        }
        was = now;
    }
}

// --- little-endian byte helpers ---

void putU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void putF32(std::vector<uint8_t>& out, float f) {
    putU32(out, std::bit_cast<uint32_t>(f));
}
void setU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

constexpr uint32_t kGraphicsVersion = 0xDBC01002u;
constexpr uint32_t kVersionSignatureMask = 0xFFFFF000u;
constexpr uint32_t kVersionSignature = 0xDBC01000u;

// Point flags of a serialised path.
constexpr uint32_t kPathCompressed = 0x4000; // 16-bit integer points
constexpr uint32_t kPathRle = 0x1000;        // relative points and run-length encoded types
constexpr uint32_t kPathRelative = 0x0800;   // relative points (older writers)

bool fitsInt16(float v) {
    return v == std::floor(v) && v >= -32768.0f && v <= 32767.0f;
}

void writePath(std::vector<uint8_t>& out, const Path& path) {
    const auto& pts = path.points();
    const auto& types = path.types();
    const bool compressed =
        std::all_of(pts.begin(), pts.end(), [](PointF p) { return fitsInt16(p.x) && fitsInt16(p.y); });
    const size_t lengthAt = out.size();
    putU32(out, 0);
    const size_t start = out.size();
    putU32(out, kGraphicsVersion);
    putU32(out, static_cast<uint32_t>(pts.size()));
    putU32(out, compressed ? kPathCompressed : 0);
    for (PointF p : pts) {
        if (compressed) {
            const auto x = static_cast<uint16_t>(static_cast<int16_t>(p.x));
            const auto y = static_cast<uint16_t>(static_cast<int16_t>(p.y));
            out.push_back(static_cast<uint8_t>(x));
            out.push_back(static_cast<uint8_t>(x >> 8));
            out.push_back(static_cast<uint8_t>(y));
            out.push_back(static_cast<uint8_t>(y >> 8));
        } else {
            putF32(out, p.x);
            putF32(out, p.y);
        }
    }
    out.insert(out.end(), types.begin(), types.end());
    while ((out.size() - start) % 4 != 0)
        out.push_back(0);
    setU32(out, lengthAt, static_cast<uint32_t>(out.size() - start));
}

void writeNode(std::vector<uint8_t>& out, const RegionNode& n, uint32_t& nodes) {
    ++nodes;
    putU32(out, static_cast<uint32_t>(n.type));
    switch (n.type) {
    case RegionNodeType::Rect:
        putF32(out, n.rect.x);
        putF32(out, n.rect.y);
        putF32(out, n.rect.width);
        putF32(out, n.rect.height);
        break;
    case RegionNodeType::Path:
        writePath(out, *n.path);
        break;
    case RegionNodeType::Empty:
    case RegionNodeType::Infinite:
        break;
    default:
        writeNode(out, *n.left, nodes);
        writeNode(out, *n.right, nodes);
        break;
    }
}

class Reader {
public:
    Reader(std::span<const uint8_t> bytes, size_t end) : m_bytes(bytes), m_end(end) {}
    size_t pos() const { return m_pos; }
    size_t left() const { return m_end - m_pos; }
    void seek(size_t p) { m_pos = p; }
    bool u8(uint8_t& v) {
        if (left() < 1) return false;
        v = m_bytes[m_pos++];
        return true;
    }
    bool u16(uint16_t& v) {
        if (left() < 2) return false;
        v = static_cast<uint16_t>(m_bytes[m_pos] | m_bytes[m_pos + 1] << 8);
        m_pos += 2;
        return true;
    }
    bool u32(uint32_t& v) {
        if (left() < 4) return false;
        v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<uint32_t>(m_bytes[m_pos + static_cast<size_t>(i)]) << (8 * i);
        m_pos += 4;
        return true;
    }
    bool f32(float& f) {
        uint32_t v;
        if (!u32(v)) return false;
        f = std::bit_cast<float>(v);
        return true;
    }

private:
    std::span<const uint8_t> m_bytes;
    size_t m_end;
    size_t m_pos = 0;
};

struct ParseState {
    size_t nodes = 0;
    size_t points = 0;
    std::string error;
    bool fail(std::string why) {
        if (error.empty()) error = "damaged region data: " + std::move(why);
        return false;
    }
};

// One coordinate of a relative point: 7 bits in one byte or 15 bits in two, signed.
bool readRelativeCoord(Reader& r, int32_t& v) {
    uint8_t b0;
    if (!r.u8(b0)) return false;
    if ((b0 & 0x80) == 0) {
        v = (b0 & 0x40) ? static_cast<int32_t>(b0 & 0x7F) - 128 : b0 & 0x7F;
        return true;
    }
    uint8_t b1;
    if (!r.u8(b1)) return false;
    const int32_t raw = ((b0 & 0x7F) << 8) | b1;
    v = (raw & 0x4000) ? raw - 0x8000 : raw;
    return true;
}

bool validTypes(const std::vector<uint8_t>& types) {
    for (size_t i = 0; i < types.size();) {
        const uint8_t t = types[i] & PathPointType::TypeMask;
        if (t == PathPointType::Start || t == PathPointType::Line) {
            ++i;
            continue;
        }
        if (t != PathPointType::Bezier || i == 0 || i + 3 > types.size()) return false;
        for (size_t j = i; j < i + 3; ++j)
            if ((types[j] & PathPointType::TypeMask) != PathPointType::Bezier) return false;
        i += 3;
    }
    return true;
}

bool readPath(Reader& r, ParseState& st, std::shared_ptr<Path>& out) {
    uint32_t lengthField;
    if (!r.u32(lengthField)) return st.fail("path node cut short");
    const auto length = static_cast<int32_t>(lengthField);
    if (length < 12 || static_cast<size_t>(length) > r.left()) return st.fail("path length out of range");
    const size_t end = r.pos() + static_cast<size_t>(length);
    uint32_t version = 0, count = 0, flags = 0;
    r.u32(version);
    r.u32(count);
    r.u32(flags);
    if ((version & kVersionSignatureMask) != kVersionSignature) return st.fail("path has an unknown version");
    const bool relative = (flags & (kPathRle | kPathRelative)) != 0;
    const bool rle = (flags & kPathRle) != 0;
    const bool compressed = !relative && (flags & kPathCompressed) != 0;
    // Every point needs at least two bytes and a type at least one bit; refuse counts the data cannot hold.
    const size_t minPointBytes = relative ? 2 : (compressed ? 4 : 8);
    const size_t available = end - r.pos();
    if (count > available / minPointBytes) return st.fail("path point count exceeds the data");
    st.points += count;
    if (st.points > kMaxRegionPoints) return st.fail("too many path points");
    std::vector<PointF> points;
    points.reserve(count);
    int64_t ax = 0, ay = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (r.pos() >= end) return st.fail("path points cut short");
        PointF p;
        if (relative) {
            int32_t dx, dy;
            if (!readRelativeCoord(r, dx) || !readRelativeCoord(r, dy) || r.pos() > end)
                return st.fail("path points cut short");
            ax = std::clamp<int64_t>(ax + dx, -(int64_t{1} << 40), int64_t{1} << 40);
            ay = std::clamp<int64_t>(ay + dy, -(int64_t{1} << 40), int64_t{1} << 40);
            p = {static_cast<float>(ax), static_cast<float>(ay)};
        } else if (compressed) {
            uint16_t x, y;
            if (end - r.pos() < 4 || !r.u16(x) || !r.u16(y)) return st.fail("path points cut short");
            p = {static_cast<float>(static_cast<int16_t>(x)), static_cast<float>(static_cast<int16_t>(y))};
        } else {
            if (end - r.pos() < 8 || !r.f32(p.x) || !r.f32(p.y)) return st.fail("path points cut short");
            if (!std::isfinite(p.x) || !std::isfinite(p.y)) return st.fail("path point is not a finite number");
        }
        points.push_back(p);
    }
    std::vector<uint8_t> types;
    types.reserve(count);
    while (types.size() < count) {
        uint8_t b;
        if (r.pos() >= end || !r.u8(b)) return st.fail("path point types cut short");
        if (rle && (b & 0x40)) {
            uint8_t type;
            if (r.pos() >= end || !r.u8(type)) return st.fail("path point types cut short");
            const size_t run = b & 0x3F;
            if (run == 0 || run > count - types.size()) return st.fail("path point type run out of range");
            types.insert(types.end(), run, type);
        } else {
            types.push_back(b);
        }
    }
    if (!validTypes(types)) return st.fail("path point types do not form a path");
    r.seek(end);
    out = std::make_shared<Path>(FillMode::Alternate);
    out->assign(std::move(points), std::move(types));
    return true;
}

bool readNode(Reader& r, ParseState& st, int depth, RegionNodePtr& out) {
    if (depth > kMaxRegionDepth) return st.fail("region nodes nest too deeply");
    if (++st.nodes > kMaxRegionNodes) return st.fail("too many region nodes");
    uint32_t typeValue;
    if (!r.u32(typeValue)) return st.fail("region node cut short");
    const auto type = static_cast<RegionNodeType>(typeValue);
    auto node = std::make_shared<RegionNode>();
    node->type = type;
    if (isCombine(type)) {
        if (!readNode(r, st, depth + 1, node->left) || !readNode(r, st, depth + 1, node->right)) return false;
    } else if (type == RegionNodeType::Rect) {
        RectF& rc = node->rect;
        if (!r.f32(rc.x) || !r.f32(rc.y) || !r.f32(rc.width) || !r.f32(rc.height))
            return st.fail("rectangle node cut short");
        if (!std::isfinite(rc.x) || !std::isfinite(rc.y) || !std::isfinite(rc.width) || !std::isfinite(rc.height))
            return st.fail("rectangle is not made of finite numbers");
    } else if (type == RegionNodeType::Path) {
        std::shared_ptr<Path> path;
        if (!readPath(r, st, path)) return false;
        node->path = std::move(path);
    } else if (type != RegionNodeType::Empty && type != RegionNodeType::Infinite) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "unknown region node type 0x%08X", typeValue);
        return st.fail(buf);
    }
    out = std::move(node);
    return true;
}

Leaf compileLeaf(const RegionNode& n) {
    Leaf leaf;
    leaf.type = n.type;
    if (n.type == RegionNodeType::Rect) {
        const double x0 = n.rect.x, y0 = n.rect.y;
        const double x1 = x0 + static_cast<double>(n.rect.width), y1 = y0 + static_cast<double>(n.rect.height);
        leaf.l = toFixed(x0);
        leaf.t = toFixed(y0);
        leaf.r = toFixed(x1);
        leaf.b = toFixed(y1);
        // A rectangle of negative or zero size covers nothing.
        if (!(leaf.r > leaf.l && leaf.b > leaf.t)) leaf.type = RegionNodeType::Empty;
    } else if (n.type == RegionNodeType::Path) {
        leaf.winding = n.path->fillMode() == FillMode::Winding;
        std::vector<Polygon> figures;
        if (!n.path->flatten(figures)) {
            leaf.type = RegionNodeType::Empty;
            return leaf;
        }
        for (const Polygon& fig : figures) {
            const size_t m = fig.size();
            for (size_t i = 0; i < m; ++i) {
                const auto& a = fig[i];
                const auto& b = fig[(i + 1) % m];
                Edge e{toFixed(a.first), toFixed(a.second), toFixed(b.first), toFixed(b.second), 1};
                if (e.y0 == e.y1) continue;
                if (e.y0 > e.y1) {
                    std::swap(e.x0, e.x1);
                    std::swap(e.y0, e.y1);
                    e.dir = -1;
                }
                leaf.edges.push_back(e);
            }
        }
    }
    return leaf;
}

} // namespace

struct Region::Compiled {
    std::vector<Leaf> leaves;
    std::vector<Op> program; // postfix
};

Region::Region() : m_root(infiniteNode()) {}

Region::Region(const RectF& rect) {
    auto n = std::make_shared<RegionNode>();
    n->type = RegionNodeType::Rect;
    n->rect = rect;
    m_root = std::move(n);
}

Region::Region(const Rect& rect)
    : Region(RectF{static_cast<float>(rect.x), static_cast<float>(rect.y), static_cast<float>(rect.width),
                   static_cast<float>(rect.height)}) {}

Region::Region(const Path& path) {
    auto n = std::make_shared<RegionNode>();
    n->type = RegionNodeType::Path;
    n->path = std::make_shared<Path>(path);
    m_root = std::move(n);
}

Region::Region(RegionNodePtr root) : m_root(root ? std::move(root) : emptyNode()) {}

Region Region::infinite() {
    return Region(infiniteNode());
}
Region Region::empty() {
    return Region(emptyNode());
}

void Region::makeInfinite() {
    m_root = infiniteNode();
    m_compiled.reset();
}

void Region::makeEmpty() {
    m_root = emptyNode();
    m_compiled.reset();
}

Status Region::combine(const Region& other, CombineMode mode) {
    const RegionNodePtr& a = m_root;
    const RegionNodePtr& b = other.m_root;
    const bool aEmpty = a->type == RegionNodeType::Empty, bEmpty = b->type == RegionNodeType::Empty;
    const bool aInf = a->type == RegionNodeType::Infinite, bInf = b->type == RegionNodeType::Infinite;
    RegionNodePtr result;
    RegionNodeType type = RegionNodeType::Empty;
    switch (mode) {
    case CombineMode::Replace:
        result = b;
        break;
    case CombineMode::Intersect:
        if (aEmpty || bEmpty)
            result = emptyNode();
        else if (bInf)
            result = a;
        else if (aInf)
            result = b;
        type = RegionNodeType::And;
        break;
    case CombineMode::Union:
        if (aInf || bInf)
            result = infiniteNode();
        else if (bEmpty)
            result = a;
        else if (aEmpty)
            result = b;
        type = RegionNodeType::Or;
        break;
    case CombineMode::Xor:
        if (bEmpty)
            result = a;
        else if (aEmpty)
            result = b;
        type = RegionNodeType::Xor;
        break;
    case CombineMode::Exclude:
        if (aEmpty || bInf)
            result = emptyNode();
        else if (bEmpty)
            result = a;
        type = RegionNodeType::Exclude;
        break;
    case CombineMode::Complement:
        if (bEmpty || aInf)
            result = emptyNode();
        else if (aEmpty)
            result = b;
        type = RegionNodeType::Complement;
        break;
    default:
        return Status::InvalidParameter;
    }
    if (!result) {
        auto n = std::make_shared<RegionNode>();
        n->type = type;
        n->left = a;
        n->right = b;
        result = std::move(n);
    }
    m_root = std::move(result);
    m_compiled.reset();
    return Status::Ok;
}

namespace {

RegionNodePtr transformNode(const RegionNodePtr& n, const Matrix& m) {
    switch (n->type) {
    case RegionNodeType::Empty:
    case RegionNodeType::Infinite:
        return n;
    case RegionNodeType::Rect: {
        if (m.isScaleTranslate()) {
            const PointF a = m.map({n->rect.x, n->rect.y});
            const PointF b = m.map({n->rect.x + n->rect.width, n->rect.y + n->rect.height});
            auto r = std::make_shared<RegionNode>();
            r->type = RegionNodeType::Rect;
            // A mirroring matrix swaps the corners; the rectangle keeps covering the same area (and one of
            // negative size stays empty).
            const bool flipX = m.m11() < 0, flipY = m.m22() < 0;
            r->rect = {flipX ? b.x : a.x, flipY ? b.y : a.y, flipX ? a.x - b.x : b.x - a.x,
                       flipY ? a.y - b.y : b.y - a.y};
            return r;
        }
        auto r = std::make_shared<RegionNode>();
        r->type = RegionNodeType::Path;
        auto p = std::make_shared<Path>();
        p->addRectangle(n->rect);
        p->transform(m);
        r->path = std::move(p);
        return r;
    }
    case RegionNodeType::Path: {
        auto r = std::make_shared<RegionNode>();
        r->type = RegionNodeType::Path;
        auto p = std::make_shared<Path>(*n->path);
        p->transform(m);
        r->path = std::move(p);
        return r;
    }
    default: {
        auto r = std::make_shared<RegionNode>();
        r->type = n->type;
        r->left = transformNode(n->left, m);
        r->right = transformNode(n->right, m);
        return r;
    }
    }
}

} // namespace

Status Region::transform(const Matrix& m) {
    for (float v : {m.m11(), m.m12(), m.m21(), m.m22(), m.dx(), m.dy()})
        if (!std::isfinite(v)) return Status::InvalidParameter;
    if (m.isIdentity()) return Status::Ok;
    m_root = transformNode(m_root, m);
    m_compiled.reset();
    return Status::Ok;
}

Status Region::translate(float dx, float dy) {
    return transform(Matrix(1, 0, 0, 1, dx, dy));
}

const Region::Compiled& Region::compiled() const {
    if (m_compiled) return *m_compiled;
    auto c = std::make_shared<Compiled>();
    // Postfix order without recursion: a tree from a caller may be deeper than the stack likes.
    std::vector<std::pair<const RegionNode*, bool>> stack{{m_root.get(), false}};
    while (!stack.empty()) {
        auto [n, expanded] = stack.back();
        stack.pop_back();
        if (isCombine(n->type)) {
            if (expanded) {
                c->program.push_back({n->type, 0});
            } else {
                stack.push_back({n, true});
                stack.push_back({n->right.get(), false});
                stack.push_back({n->left.get(), false});
            }
            continue;
        }
        c->program.push_back({RegionNodeType::Rect, static_cast<uint32_t>(c->leaves.size())});
        c->leaves.push_back(compileLeaf(*n));
    }
    m_compiled = std::move(c);
    return *m_compiled;
}

namespace {

bool leafContains(const Leaf& leaf, int64_t px, int64_t py) {
    switch (leaf.type) {
    case RegionNodeType::Infinite:
        return true;
    case RegionNodeType::Rect:
        return px >= leaf.l && px < leaf.r && py >= leaf.t && py < leaf.b;
    case RegionNodeType::Path: {
        int winding = 0, crossings = 0;
        for (const Edge& e : leaf.edges) {
            if (py < e.y0 || py >= e.y1) continue;
            const Int128 dy = e.y1 - e.y0;
            const Int128 lhs = static_cast<Int128>(px) * dy;
            const Int128 rhs = static_cast<Int128>(e.x0) * dy + static_cast<Int128>(py - e.y0) * (e.x1 - e.x0);
            if (lhs >= rhs) {
                winding += e.dir;
                ++crossings;
            }
        }
        return leaf.winding ? winding != 0 : (crossings & 1) != 0;
    }
    default:
        return false;
    }
}

} // namespace

bool Region::isVisible(int x, int y) const {
    const Compiled& c = compiled();
    const int64_t px = static_cast<int64_t>(x) * kSubpixel, py = static_cast<int64_t>(y) * kSubpixel;
    // The evaluation stack never holds more entries than there are leaves; small trees need no allocation.
    uint8_t small[64];
    std::vector<uint8_t> large;
    const bool useSmall = c.leaves.size() <= 64;
    if (!useSmall) large.resize(c.leaves.size());
    auto at = [&](size_t i) -> uint8_t& { return useSmall ? small[i] : large[i]; };
    size_t depth = 0;
    for (const Op& op : c.program) {
        if (op.type == RegionNodeType::Rect) {
            at(depth++) = leafContains(c.leaves[op.leaf], px, py) ? 1 : 0;
        } else {
            const bool b = at(--depth) != 0;
            at(depth - 1) = combineBits(op.type, at(depth - 1) != 0, b) ? 1 : 0;
        }
    }
    return depth > 0 && at(depth - 1) != 0;
}

RowSpans Region::rowSpans(const Rect& clip) const {
    RowSpans result;
    if (clip.width <= 0 || clip.height <= 0) return result;
    const Compiled& c = compiled();
    const int32_t cx0 = clip.x, cy0 = clip.y;
    const int64_t cx1 = static_cast<int64_t>(clip.x) + clip.width, cy1 = static_cast<int64_t>(clip.y) + clip.height;
    if (cx1 > INT32_MAX || cy1 > INT32_MAX) return result;

    // Path leaves walk the rows with a list of active edges, so memory stays in proportion to the edges
    // whatever the height. Each edge starts on the first row whose point lies at or below its top.
    struct EdgeWalk {
        std::vector<uint32_t> order; // edges by first row
        size_t next = 0;
        std::vector<uint32_t> active;
        std::vector<std::pair<int32_t, int>> crossings; // first column on or right of the edge, direction
    };
    std::vector<EdgeWalk> walks(c.leaves.size());
    for (size_t li = 0; li < c.leaves.size(); ++li) {
        const Leaf& leaf = c.leaves[li];
        if (leaf.type != RegionNodeType::Path) continue;
        auto& order = walks[li].order;
        order.resize(leaf.edges.size());
        for (uint32_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::sort(order.begin(), order.end(),
                  [&](uint32_t x, uint32_t y) { return leaf.edges[x].y0 < leaf.edges[y].y0; });
    }

    std::vector<Spans> stack;
    std::vector<Spans> pool;
    auto take = [&]() {
        if (pool.empty()) return Spans{};
        Spans s = std::move(pool.back());
        pool.pop_back();
        s.clear();
        return s;
    };
    for (int64_t row = cy0; row < cy1; ++row) {
        const int64_t py = row * kSubpixel;
        for (const Op& op : c.program) {
            if (op.type != RegionNodeType::Rect) {
                Spans b = std::move(stack.back());
                stack.pop_back();
                Spans a = std::move(stack.back());
                stack.pop_back();
                Spans out = take();
                combineSpans(op.type, a, b, out);
                pool.push_back(std::move(a));
                pool.push_back(std::move(b));
                stack.push_back(std::move(out));
                continue;
            }
            const Leaf& leaf = c.leaves[op.leaf];
            Spans s = take();
            if (leaf.type == RegionNodeType::Infinite) {
                s.emplace_back(cx0, static_cast<int32_t>(cx1));
            } else if (leaf.type == RegionNodeType::Rect) {
                if (py >= leaf.t && py < leaf.b) {
                    const int64_t x0 = std::clamp<int64_t>(ceilDiv(leaf.l, kSubpixel), cx0, cx1);
                    const int64_t x1 = std::clamp<int64_t>(ceilDiv(leaf.r, kSubpixel), cx0, cx1);
                    if (x1 > x0) s.emplace_back(static_cast<int32_t>(x0), static_cast<int32_t>(x1));
                }
            } else if (leaf.type == RegionNodeType::Path) {
                // Each leaf appears once in the program, so its walk only moves forward.
                EdgeWalk& walk = walks[op.leaf];
                while (walk.next < walk.order.size() && leaf.edges[walk.order[walk.next]].y0 <= py)
                    walk.active.push_back(walk.order[walk.next++]);
                walk.crossings.clear();
                size_t keep = 0;
                for (const uint32_t ei : walk.active) {
                    const Edge& e = leaf.edges[ei];
                    if (e.y1 <= py) continue; // finished above this row
                    walk.active[keep++] = ei;
                    const Int128 dy = e.y1 - e.y0;
                    const Int128 num = static_cast<Int128>(e.x0) * dy + static_cast<Int128>(py - e.y0) * (e.x1 - e.x0);
                    const int64_t t = std::clamp<int64_t>(ceilDiv(num, dy * kSubpixel), cx0, cx1);
                    walk.crossings.emplace_back(static_cast<int32_t>(t), e.dir);
                }
                walk.active.resize(keep);
                std::sort(walk.crossings.begin(), walk.crossings.end());
                const auto& cr = walk.crossings;
                int winding = 0, count = 0;
                bool inside = false;
                int32_t start = 0;
                for (size_t k = 0; k < cr.size();) {
                    const int32_t x = cr[k].first;
                    while (k < cr.size() && cr[k].first == x) {
                        winding += cr[k].second;
                        ++count;
                        ++k;
                    }
                    const bool now = leaf.winding ? winding != 0 : (count & 1) != 0;
                    if (now && !inside) start = x;
                    if (!now && inside && x > start) {
                        if (!s.empty() && s.back().second == start)
                            s.back().second = x;
                        else
                            s.emplace_back(start, x);
                    }
                    inside = now;
                }
            }
            stack.push_back(std::move(s));
        }
        if (!stack.empty()) {
            for (const auto& [x0, x1] : stack.back())
                result.add(static_cast<int32_t>(row), x0, x1);
            pool.push_back(std::move(stack.back()));
            stack.clear();
        }
    }
    return result;
}

bool Region::isEmpty(const Rect& clip) const {
    return rowSpans(clip).empty();
}

std::vector<uint8_t> Region::data() const {
    std::vector<uint8_t> out;
    putU32(out, 0); // size, filled in below
    putU32(out, 0); // checksum, filled in below
    putU32(out, kGraphicsVersion);
    putU32(out, 0); // child node count, filled in below
    uint32_t nodes = 0;
    writeNode(out, *m_root, nodes);
    setU32(out, 12, nodes - 1);
    setU32(out, 0, static_cast<uint32_t>(out.size() - 8));
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), out.data() + 8, static_cast<uInt>(out.size() - 8));
    setU32(out, 4, static_cast<uint32_t>(crc));
    return out;
}

std::optional<Region> Region::fromData(std::span<const uint8_t> bytes, std::string& error) {
    if (bytes.size() < 20) {
        error = "damaged region data: shorter than its header";
        return std::nullopt;
    }
    Reader head(bytes, bytes.size());
    uint32_t size, checksum, version, children;
    head.u32(size);
    head.u32(checksum);
    head.u32(version);
    head.u32(children);
    if (size < 12 || size > bytes.size() - 8) {
        error = "damaged region data: its size field does not match the data";
        return std::nullopt;
    }
    if ((version & kVersionSignatureMask) != kVersionSignature) {
        error = "damaged region data: unknown version";
        return std::nullopt;
    }
    // The checksum is not enforced: files from older writers carry values that were never checked on
    // reading, and every structure below is validated against the data on its own.
    (void)checksum;
    (void)children;
    Reader r(bytes, 8 + static_cast<size_t>(size));
    r.seek(16);
    ParseState st;
    RegionNodePtr root;
    if (!readNode(r, st, 0, root)) {
        error = st.error;
        return std::nullopt;
    }
    return Region(std::move(root));
}

} // namespace quadrel
