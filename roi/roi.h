#pragma once

#include "persistence/calibration.h"
#include "platform/region.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quadrel {

struct CRegionObject;

// How a shape combines with the region built from the shapes before it.
enum RoiMethod : int32_t {
    kRoiReplace = 0,
    kRoiComplement = 1, // the region so far minus the shape
    kRoiExclude = 2,    // the shape minus the region so far
    kRoiIntersect = 3,
    kRoiUnion = 4,
    kRoiXor = 5,
};

// One shape of a region template, in millimetres around the image centre (x right, y down).
class CRegionT {
public:
    virtual ~CRegionT() = default;
    // The shape in image pixels (around the origin) for the calibrations and magnification, or null
    // when it makes no region.
    virtual std::shared_ptr<CRegionObject> MakeRegion(const TCalibration& x, const TCalibration& y,
                                                      double magnification) const = 0;
    int32_t method = kRoiReplace;
};

class CRectRegionT : public CRegionT {
public:
    std::shared_ptr<CRegionObject> MakeRegion(const TCalibration& x, const TCalibration& y,
                                              double magnification) const override;
    float x = 0, y = 0, width = 0, height = 0;

protected:
    RectF pixelRect(const TCalibration& cx, const TCalibration& cy, double magnification) const;
};

class CEllipseRegionT : public CRectRegionT {
public:
    std::shared_ptr<CRegionObject> MakeRegion(const TCalibration& x, const TCalibration& y,
                                              double magnification) const override;
};

class CPolygonRegionT : public CRegionT {
public:
    std::shared_ptr<CRegionObject> MakeRegion(const TCalibration& x, const TCalibration& y,
                                              double magnification) const override;
    std::shared_ptr<std::vector<PointF>> points = std::make_shared<std::vector<PointF>>();

protected:
    std::vector<PointF> pixelPoints(const TCalibration& cx, const TCalibration& cy, double magnification) const;
};

class CClosedCurveRegionT : public CPolygonRegionT {
public:
    std::shared_ptr<CRegionObject> MakeRegion(const TCalibration& x, const TCalibration& y,
                                              double magnification) const override;
};

// A region template: shapes in file order, combined one after the other.
class CROI {
public:
    std::vector<std::shared_ptr<CRegionT>> shapes;
    int32_t unitType = 0; // of the numbers in the file: 0 millimetre, 1 inch

    // Reads a template file. On failure returns false with the reason and leaves this template as it
    // was: a template is taken whole or not at all.
    bool Load(const std::string& path, std::string& error);
    bool LoadFromText(const std::string& xml, const std::string& name, std::string& error);

    // The combined region around the origin; holds no region when no shape made one.
    std::shared_ptr<CRegionObject> BuildRegion(const TCalibration& x, const TCalibration& y,
                                               double magnification) const;
};

} // namespace quadrel
