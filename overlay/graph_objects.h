#pragma once

// The first family of annotation records that older documents carry inside their tag record. The program
// reads them only to get past them, and writes them only to build test data; it never draws them.

#include "persistence/object_stream.h"
#include "persistence/stream_registry.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quadrel::overlay {

// The 60-byte logical-font record of a caption.
struct TLogFont {
    static constexpr size_t kSize = 60;
    int32_t height = 0, width = 0, escapement = 0, orientation = 0, weight = 400;
    uint8_t italic = 0, underline = 0, strikeOut = 0, charSet = 0;
    uint8_t outPrecision = 0, clipPrecision = 0, quality = 0, pitchAndFamily = 0;
    std::array<char, 32> faceName{};

    void read(ipstream& is);
    void write(opstream& os) const;
    friend bool operator==(const TLogFont&, const TLogFont&) = default;
};

// A text label with its own colours and font.
class TCaption : public TStreamableBase {
public:
    static constexpr const char* kStreamName = "TCaption";
    static constexpr uint32_t kClassVersion = 2;

    std::string text;
    int32_t valueD = 0;
    int32_t backgroundMode = 0;
    uint32_t textColour = 0;
    uint32_t backgroundColour = 0x00FFFFFF;
    StreamRect rect;
    TLogFont font;

    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
    QUADREL_FIELD_STREAMER(TCaption);
};

// An ordered list of points.
class TPointList : public TStreamableBase {
public:
    static constexpr const char* kStreamName = "TPointList";
    static constexpr uint32_t kClassVersion = 1;

    std::vector<StreamPoint> points;

    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
    QUADREL_FIELD_STREAMER(TPointList);
};

// Base of the family; not registered by itself.
class TGraphObject : public TStreamableBase {
public:
    static constexpr uint32_t kClassVersion = 2;

    uint32_t key = 0;
    uint32_t foreground = 0;
    uint32_t background = 0x00FFFFFF;
    StreamRect bounds;
    int32_t valueA = 0;
    int32_t thickness = 1;
    int32_t valueB = 0;
    int32_t valueC = 2;
    std::string text;
    bool shadow = false;

    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
};

// Shapes whose record is the base fields read with their own class version.
#define QUADREL_PLAIN_GRAPH_OBJECT(Class, Base)                                                                        \
    class Class : public Base {                                                                                        \
    public:                                                                                                            \
        static constexpr const char* kStreamName = #Class;                                                             \
        static constexpr uint32_t kClassVersion = 2;                                                                   \
        QUADREL_FIELD_STREAMER(Class);                                                                                 \
    }

QUADREL_PLAIN_GRAPH_OBJECT(TGPoint, TGraphObject);
QUADREL_PLAIN_GRAPH_OBJECT(TGLine, TGraphObject);
QUADREL_PLAIN_GRAPH_OBJECT(TGRectangle, TGraphObject);
QUADREL_PLAIN_GRAPH_OBJECT(TGEllipse, TGraphObject);
QUADREL_PLAIN_GRAPH_OBJECT(TGCircle, TGraphObject);

#undef QUADREL_PLAIN_GRAPH_OBJECT

class TGFeretDiameter : public TGPoint {
public:
    static constexpr const char* kStreamName = "TGFeretDiameter";
    static constexpr uint32_t kClassVersion = 1;
    double diameter = 0.0;

    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
    QUADREL_FIELD_STREAMER(TGFeretDiameter);
};

class TGCaptionFeretDiameter : public TGFeretDiameter {
public:
    static constexpr const char* kStreamName = "TGCaptionFeretDiameter";
    static constexpr uint32_t kClassVersion = 1;
    TCaption caption;

    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
    QUADREL_FIELD_STREAMER(TGCaptionFeretDiameter);
};

class TGCaptionPoint : public TGPoint {
public:
    static constexpr const char* kStreamName = "TGCaptionPoint";
    static constexpr uint32_t kClassVersion = 1;
    TCaption caption;

    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
    QUADREL_FIELD_STREAMER(TGCaptionPoint);
};

class TGArrow : public TGLine {
public:
    static constexpr const char* kStreamName = "TGArrow";
    static constexpr uint32_t kClassVersion = 1;
    int32_t arrowValue = 0;
    std::array<StreamPoint, 4> head{};

    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
    QUADREL_FIELD_STREAMER(TGArrow);
};

class TGCaptionArrow : public TGArrow {
public:
    static constexpr const char* kStreamName = "TGCaptionArrow";
    static constexpr uint32_t kClassVersion = 1;
    TCaption caption;

    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
    QUADREL_FIELD_STREAMER(TGCaptionArrow);
};

class TGPalmer : public TGLine {
public:
    static constexpr const char* kStreamName = "TGPalmer";
    static constexpr uint32_t kClassVersion = 1;
    std::array<StreamPoint, 4> marks{};

    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
    QUADREL_FIELD_STREAMER(TGPalmer);
};

class TGCaptionLine : public TGLine {
public:
    static constexpr const char* kStreamName = "TGCaptionLine";
    static constexpr uint32_t kClassVersion = 1;
    TCaption caption;

    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
    QUADREL_FIELD_STREAMER(TGCaptionLine);
};

class TGCaptionPalmer : public TGCaptionLine {
public:
    static constexpr const char* kStreamName = "TGCaptionPalmer";
    static constexpr uint32_t kClassVersion = 1;
    std::array<StreamPoint, 4> marks{};

    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
    QUADREL_FIELD_STREAMER(TGCaptionPalmer);
};

class TGScale : public TGraphObject {
public:
    static constexpr const char* kStreamName = "TGScale";
    static constexpr uint32_t kClassVersion = 2;
    StreamPoint origin;
    std::array<int32_t, 4> values{};

    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
    QUADREL_FIELD_STREAMER(TGScale);
};

class TGCaptionScale : public TGScale {
public:
    static constexpr const char* kStreamName = "TGCaptionScale";
    static constexpr uint32_t kClassVersion = 1;
    TCaption caption;

    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
    QUADREL_FIELD_STREAMER(TGCaptionScale);
};

// A stamp carries a packed device-independent bitmap: information header, colour table and pixel bits,
// with no length prefix, so its length comes from its own header.
class TGStamp : public TGraphObject {
public:
    static constexpr const char* kStreamName = "TGStamp";
    static constexpr uint32_t kClassVersion = 1;
    StreamPoint origin;
    bool flag = false;
    uint32_t stampValue = 0;
    std::vector<uint8_t> dib;

    TGStamp();
    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
    QUADREL_FIELD_STREAMER(TGStamp);
};

// The length in bytes of the packed bitmap whose header starts `header`, of which `available` bytes are
// known (at least the header itself); 0 when the header is not one of a bitmap.
uint64_t packedDibLength(const uint8_t* header, size_t available);

class TGVector : public TGraphObject {
public:
    static constexpr const char* kStreamName = "TGVector";
    static constexpr uint32_t kClassVersion = 1;
    StreamPoint start;
    TPointList points;

    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
    QUADREL_FIELD_STREAMER(TGVector);
};

#define QUADREL_VECTOR_GRAPH_OBJECT(Class, Base)                                                                       \
    class Class : public Base {                                                                                        \
    public:                                                                                                            \
        static constexpr const char* kStreamName = #Class;                                                             \
        static constexpr uint32_t kClassVersion = 1;                                                                   \
        QUADREL_FIELD_STREAMER(Class);                                                                                 \
    }

QUADREL_VECTOR_GRAPH_OBJECT(TGArea, TGVector);
QUADREL_VECTOR_GRAPH_OBJECT(TGCircle3pnts, TGVector);
QUADREL_VECTOR_GRAPH_OBJECT(TGAngle, TGVector);

#undef QUADREL_VECTOR_GRAPH_OBJECT

// A vector shape with a caption: the vector part, then the caption.
#define QUADREL_CAPTIONED_GRAPH_OBJECT(Class, Base)                                                                    \
    class Class : public Base {                                                                                        \
    public:                                                                                                            \
        static constexpr const char* kStreamName = #Class;                                                             \
        static constexpr uint32_t kClassVersion = 1;                                                                   \
        TCaption caption;                                                                                              \
        void readFields(ipstream& is, uint32_t version);                                                               \
        void writeFields(opstream& os) const;                                                                          \
        QUADREL_FIELD_STREAMER(Class);                                                                                 \
    }

QUADREL_CAPTIONED_GRAPH_OBJECT(TGCaptionVector, TGVector);
QUADREL_CAPTIONED_GRAPH_OBJECT(TGCaptionArea, TGArea);
QUADREL_CAPTIONED_GRAPH_OBJECT(TGCaptionCircle3pnts, TGCircle3pnts);
QUADREL_CAPTIONED_GRAPH_OBJECT(TGCaptionAngle, TGAngle);
QUADREL_CAPTIONED_GRAPH_OBJECT(TGCaptionRect, TGRectangle);
QUADREL_CAPTIONED_GRAPH_OBJECT(TGCaptionCircle, TGCircle);
QUADREL_CAPTIONED_GRAPH_OBJECT(TGCaption, TGraphObject);

#undef QUADREL_CAPTIONED_GRAPH_OBJECT

// The annotation list: shared pointers, each object held once.
class TPGraphObjectList : public TStreamableBase {
public:
    static constexpr const char* kStreamName = "TPGraphObjectList";
    static constexpr uint32_t kClassVersion = 1;

    std::vector<std::shared_ptr<TGraphObject>> objects;

    // Appends unless the list already holds the object.
    bool add(std::shared_ptr<TGraphObject> object);
    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
    QUADREL_FIELD_STREAMER(TPGraphObjectList);
};

void registerGraphObjectClasses(StreamClassRegistry& registry);

} // namespace quadrel::overlay
