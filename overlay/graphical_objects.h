#pragma once

// The second family of annotation records in older tag records: simple drawing objects. Read to get past
// them, written only to build test data.

#include "overlay/graph_objects.h"

namespace quadrel::overlay {

// Base of the family; not registered by itself.
class GraphicalObject : public TStreamableBase {
public:
    static constexpr uint32_t kClassVersion = 1;

    StreamRect bounds;
    uint32_t colour = 0;
    int32_t valueA = 0;
    int32_t valueB = 0;
    int32_t valueC = 0;

    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
};

#define QUADREL_PLAIN_GRAPHICAL_OBJECT(Class, Base)                                                                    \
    class Class : public Base {                                                                                        \
    public:                                                                                                            \
        static constexpr const char* kStreamName = #Class;                                                             \
        static constexpr uint32_t kClassVersion = 1;                                                                   \
        QUADREL_FIELD_STREAMER(Class);                                                                                 \
    }

QUADREL_PLAIN_GRAPHICAL_OBJECT(Line, GraphicalObject);
QUADREL_PLAIN_GRAPHICAL_OBJECT(TRectangle, GraphicalObject);
QUADREL_PLAIN_GRAPHICAL_OBJECT(TEllipse, GraphicalObject);
QUADREL_PLAIN_GRAPHICAL_OBJECT(TFilledRectangle, TRectangle);
QUADREL_PLAIN_GRAPHICAL_OBJECT(TFilledEllipse, TEllipse);

#undef QUADREL_PLAIN_GRAPHICAL_OBJECT

class Arrow : public Line {
public:
    static constexpr const char* kStreamName = "Arrow";
    static constexpr uint32_t kClassVersion = 1;
    int32_t valueD = 0;
    double headSize = 0.0;
    int32_t valueE = 0;

    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
    QUADREL_FIELD_STREAMER(Arrow);
};

// A colour bar.
class TLookUpTable : public TRectangle {
public:
    static constexpr const char* kStreamName = "TLookUpTable";
    static constexpr uint32_t kClassVersion = 1;
    static constexpr uint32_t kMaxColours = 65535;
    int32_t valueF = 0;
    std::vector<uint32_t> colours;

    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
    QUADREL_FIELD_STREAMER(TLookUpTable);
};

// A text caption. Its base fields are stored only when the caption was not written as an object of its own
// first (an "embedded base marker"), which is never the case for a caption in a list.
class Caption : public GraphicalObject {
public:
    static constexpr const char* kStreamName = "Caption";
    static constexpr uint32_t kClassVersion = 1;
    std::string text;
    int32_t valueG = 0;
    int32_t valueH = 0;
    uint32_t textColour = 0;
    uint32_t backgroundColour = 0x00FFFFFF;
    TLogFont font;

    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
    QUADREL_FIELD_STREAMER(Caption);
};

#define QUADREL_CAPTIONED_GRAPHICAL_OBJECT(Class)                                                                      \
    class Class : public Caption {                                                                                     \
    public:                                                                                                            \
        static constexpr const char* kStreamName = #Class;                                                             \
        static constexpr uint32_t kClassVersion = 1;                                                                   \
        QUADREL_FIELD_STREAMER(Class);                                                                                 \
    }

QUADREL_CAPTIONED_GRAPHICAL_OBJECT(CaptionedRectangle);
QUADREL_CAPTIONED_GRAPHICAL_OBJECT(CaptionedEllipse);

#undef QUADREL_CAPTIONED_GRAPHICAL_OBJECT

// The second annotation list: shared pointers, each object held once.
class TPGraphicsObjectList : public TStreamableBase {
public:
    static constexpr const char* kStreamName = "TPGraphicsObjectList";
    static constexpr uint32_t kClassVersion = 1;

    std::vector<std::shared_ptr<GraphicalObject>> objects;

    bool add(std::shared_ptr<GraphicalObject> object);
    void readFields(ipstream& is, uint32_t version);
    void writeFields(opstream& os) const;
    QUADREL_FIELD_STREAMER(TPGraphicsObjectList);
};

void registerGraphicalObjectClasses(StreamClassRegistry& registry);

} // namespace quadrel::overlay
