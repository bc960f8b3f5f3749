#include "roi/roi.h"

#include "document/quadrel_doc.h"

#include <pugixml.hpp>

#include <cmath>
#include <filesystem>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quadrel {

namespace {

// Templates are written in millimetres (after the file's own unit conversion), so lengths go to pixels
// through the calibration's pixels per millimetre, whatever unit the user displays.
float toPixels(double v, const TCalibration& c, double magnification) {
    const double m = magnification == 0.0 ? 1.0 : magnification;
    return static_cast<float>(v * c.pixelsPerBaseUnit() / m);
}

std::shared_ptr<CRegionObject> wrap(Region r) {
    auto o = std::make_shared<CRegionObject>();
    o->region = std::move(r);
    return o;
}

} // namespace

RectF CRectRegionT::pixelRect(const TCalibration& cx, const TCalibration& cy, double magnification) const {
    return RectF{toPixels(x - width / 2, cx, magnification), toPixels(y - height / 2, cy, magnification),
                 toPixels(width, cx, magnification), toPixels(height, cy, magnification)};
}

std::shared_ptr<CRegionObject> CRectRegionT::MakeRegion(const TCalibration& cx, const TCalibration& cy,
                                                        double magnification) const {
    return wrap(Region(pixelRect(cx, cy, magnification)));
}

std::shared_ptr<CRegionObject> CEllipseRegionT::MakeRegion(const TCalibration& cx, const TCalibration& cy,
                                                           double magnification) const {
    Path path(FillMode::Winding);
    if (path.addEllipse(pixelRect(cx, cy, magnification)) != Status::Ok) return nullptr;
    return wrap(Region(path));
}

std::vector<PointF> CPolygonRegionT::pixelPoints(const TCalibration& cx, const TCalibration& cy,
                                                 double magnification) const {
    std::vector<PointF> out;
    out.reserve(points->size());
    for (const PointF& p : *points) out.push_back({toPixels(p.x, cx, magnification), toPixels(p.y, cy, magnification)});
    return out;
}

std::shared_ptr<CRegionObject> CPolygonRegionT::MakeRegion(const TCalibration& cx, const TCalibration& cy,
                                                           double magnification) const {
    if (points->size() < 2) return nullptr;
    Path path(FillMode::Winding);
    if (path.addPolygon(pixelPoints(cx, cy, magnification)) != Status::Ok) return nullptr;
    return wrap(Region(path));
}

std::shared_ptr<CRegionObject> CClosedCurveRegionT::MakeRegion(const TCalibration& cx, const TCalibration& cy,
                                                               double magnification) const {
    if (points->size() < 2) return nullptr;
    Path path(FillMode::Winding);
    if (path.addClosedCurve(pixelPoints(cx, cy, magnification)) != Status::Ok) return nullptr;
    return wrap(Region(path));
}

std::shared_ptr<CRegionObject> CROI::BuildRegion(const TCalibration& cx, const TCalibration& cy,
                                                 double magnification) const {
    std::shared_ptr<CRegionObject> r = std::make_shared<CRegionObject>();
    for (const auto& shape : shapes) {
        std::shared_ptr<CRegionObject> s = shape->MakeRegion(cx, cy, magnification);
        if (!s || !s->region) continue; // a shape that makes nothing leaves the region as it is
        if (r->region && shape->method >= kRoiComplement && shape->method <= kRoiXor) {
            static const CombineMode modes[] = {CombineMode::Replace, CombineMode::Complement, CombineMode::Exclude,
                                                CombineMode::Intersect, CombineMode::Union, CombineMode::Xor};
            s->region->combine(*r->region, modes[shape->method]);
        }
        r = s;
    }
    return r;
}

namespace {

class TemplateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An XML Schema double: decimal or exponent notation, or INF, -INF, NaN. A template needs finite
// numbers, so the last three are refused.
double readNumber(const pugi::xml_node& parent, const char* name, const std::string& where) {
    const pugi::xml_node n = parent.child(name);
    if (!n) throw TemplateError(where + ": <" + name + "> is missing");
    std::string text = n.text().get();
    const size_t b = text.find_first_not_of(" \t\r\n"), e = text.find_last_not_of(" \t\r\n");
    text = b == std::string::npos ? "" : text.substr(b, e - b + 1);
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    const bool hex = text.find_first_of("xX") != std::string::npos;
    if (text.empty() || *end != '\0' || hex || !std::isfinite(v))
        throw TemplateError(where + ": <" + name + "> is not a finite number: '" + text + "'");
    return v;
}

int32_t methodOf(const std::string& word) {
    if (word == "complement") return kRoiComplement;
    if (word == "exclude") return kRoiExclude;
    if (word == "intersect") return kRoiIntersect;
    if (word == "union") return kRoiUnion;
    if (word == "xor") return kRoiXor;
    return kRoiReplace;
}

} // namespace

bool CROI::LoadFromText(const std::string& xml, const std::string& name, std::string& error) {
    pugi::xml_document doc;
    // No DTD processing: entities beyond the five built-in ones are not expanded.
    const pugi::xml_parse_result parsed =
        doc.load_buffer(xml.data(), xml.size(), pugi::parse_default & ~pugi::parse_doctype);
    if (!parsed) {
        error = name + ": Parse error while loading: " + parsed.description() + " at offset " +
                std::to_string(parsed.offset);
        return false;
    }
    const pugi::xml_node root = doc.document_element();
    if (std::strcmp(root.name(), "Library") != 0) {
        error = name + ": the root element is <" + std::string(root.name()) + ">, not <Library>";
        return false;
    }
    CROI loaded;
    try {
        if (const pugi::xml_node unit = root.child("Unit_Type")) {
            const std::string word = unit.text().get();
            if (word == "millimeter") loaded.unitType = 0;
            else if (word == "inch") loaded.unitType = 1;
        }
        const double scale = loaded.unitType == 1 ? 25.4 : 1.0;
        auto mm = [&](double v) { return static_cast<float>(v * scale); };
        int index = 0;
        for (const pugi::xml_node region : root.children("Region")) {
            ++index;
            const std::string where = name + ": region " + std::to_string(index);
            const pugi::xml_node typeNode = region.child("Type");
            if (!typeNode) continue;
            const std::string type = typeNode.text().get();
            const int32_t method = methodOf(region.child("Method").text().get());
            std::shared_ptr<CRegionT> shape;
            if (type == "rectangle" || type == "ellipse" || type == "circle") {
                std::shared_ptr<CRectRegionT> r =
                    type == "rectangle" ? std::make_shared<CRectRegionT>() : std::make_shared<CEllipseRegionT>();
                if (const pugi::xml_node loc = region.child("Location")) {
                    r->x = mm(readNumber(loc, "X", where));
                    r->y = mm(readNumber(loc, "Y", where));
                }
                if (const pugi::xml_node size = region.child("Size")) {
                    r->width = mm(readNumber(size, "Width", where));
                    r->height = mm(readNumber(size, "Height", where));
                }
                if (type == "circle" && region.child("Radius")) r->width = r->height = mm(2 * readNumber(region, "Radius", where));
                shape = r;
            } else if (type == "polygon" || type == "closed_curve") {
                std::shared_ptr<CPolygonRegionT> p = type == "polygon" ? std::make_shared<CPolygonRegionT>()
                                                                       : std::make_shared<CClosedCurveRegionT>();
                for (const pugi::xml_node loc : region.child("Points").children("Location"))
                    p->points->push_back({mm(readNumber(loc, "X", where)), mm(readNumber(loc, "Y", where))});
                shape = p;
            } else {
                continue; // "circle_NP" and unknown words make no shape
            }
            shape->method = method;
            loaded.shapes.push_back(shape);
        }
    } catch (const TemplateError& e) {
        error = e.what();
        return false;
    }
    *this = std::move(loaded);
    return true;
}

bool CROI::Load(const std::string& path, std::string& error) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = path + (std::filesystem::exists(path, ec) ? ": not a regular file" : ": no such file");
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open the file: " + std::strerror(errno);
        return false;
    }
    // Templates are a few kilobytes; a huge file is not one.
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size > (16 << 20)) {
        error = path + ": too large for a region template";
        return false;
    }
    in.seekg(0);
    std::ostringstream text;
    text << in.rdbuf();
    return LoadFromText(text.str(), path, error);
}

} // namespace quadrel
