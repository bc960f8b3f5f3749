#pragma once

#include "persistence/streamable.h"

#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <vector>

namespace quadrel {

class ipstream;
class opstream;

// The program's base exception: a standard exception carrying a message.
class TXBase : public std::runtime_error {
public:
    explicit TXBase(const std::string& message) : std::runtime_error(message) {}
};

// Wraps one object for one read or write. Slot order as the persisted classes implement it: class name,
// read the fields, write the fields, class version.
class TStreamer {
public:
    virtual ~TStreamer() = default;
    TStreamer(const TStreamer&) = delete;
    TStreamer& operator=(const TStreamer&) = delete;

    virtual const char* StreamableName() const = 0;
    virtual void Read(ipstream& is, uint32_t version) = 0;
    virtual void Write(opstream& os) const = 0;
    virtual uint32_t ClassVersion() const = 0;

    TStreamableBase* GetObject() const { return m_object; }

protected:
    explicit TStreamer(TStreamableBase* object) : m_object(object) {}

private:
    TStreamableBase* m_object;
};

// A streamer that, built without an object, creates a default-constructed one. The created object is owned by
// a shared pointer from the start, so whoever reads it through a pointer shares that ownership.
class TNewStreamer : public TStreamer {
public:
    explicit TNewStreamer(TStreamableBase* object) : TStreamer(object) {}
    explicit TNewStreamer(std::shared_ptr<TStreamableBase> created)
        : TStreamer(created.get()), m_created(std::move(created)) {}

    std::shared_ptr<TStreamableBase> createdObject() const { return m_created; }

private:
    std::shared_ptr<TStreamableBase> m_created;
};

// Builds the nested Streamer of X: for an existing object (null when the object is not an X, so that a frame
// of one class is never read into an object of another) or, given null, for a new default X. A Streamer
// therefore takes either a TStreamableBase* or a shared pointer to the object it creates, as TNewStreamer does.
template <class X> std::unique_ptr<TStreamer> buildStreamer(TStreamableBase* object) {
    if (!object)
        return std::make_unique<typename X::Streamer>(std::static_pointer_cast<TStreamableBase>(std::make_shared<X>()));
    X* typed = dynamic_cast<X*>(object);
    if (!typed) return nullptr;
    return std::make_unique<typename X::Streamer>(static_cast<TStreamableBase*>(typed));
}

// Most persisted classes keep their field code in two member functions, readFields(is, version) and
// writeFields(os); their nested Streamer then only names the class and its version.
template <class X> class TFieldStreamer : public TNewStreamer {
public:
    using TNewStreamer::TNewStreamer;
    const char* StreamableName() const override { return X::kStreamName; }
    void Read(ipstream& is, uint32_t version) override { static_cast<X*>(GetObject())->readFields(is, version); }
    void Write(opstream& os) const override { static_cast<const X*>(GetObject())->writeFields(os); }
    uint32_t ClassVersion() const override { return X::kClassVersion; }
};

// Declares the nested Streamer of a class that keeps its field code in readFields / writeFields and names
// itself in kStreamName and kClassVersion.
#define QUADREL_FIELD_STREAMER(Class)                                                                                  \
    class Streamer : public TFieldStreamer<Class> {                                                                    \
    public:                                                                                                            \
        using TFieldStreamer<Class>::TFieldStreamer;                                                                   \
    }

// One registered class.
struct StreamClassEntry {
    using BuildFn = std::unique_ptr<TStreamer> (*)(TStreamableBase*);

    BuildFn build = nullptr;
    int delta = -1;
    std::string name;
    int moduleId = 1;
    const std::type_info* type = nullptr;

    template <class X> static StreamClassEntry of(const char* name) {
        return StreamClassEntry{&buildStreamer<X>, -1, name, 1, &typeid(X)};
    }
};

// Maps class names to the code that reads and writes them. Kept sorted by (name, module id) with byte-wise,
// case-sensitive name order. The process-wide instance is filled with every persisted class on first use;
// separate instances exist only for tests of the registry itself.
class StreamClassRegistry {
public:
    StreamClassRegistry() = default;
    StreamClassRegistry(const StreamClassRegistry&) = delete;
    StreamClassRegistry& operator=(const StreamClassRegistry&) = delete;

    static StreamClassRegistry& global();

    void registerClass(StreamClassEntry entry);
    template <class X> void registerClass(const char* name) { registerClass(StreamClassEntry::of<X>(name)); }
    // Removes the entry with this name (and module id, 0 matching any); false when none was found.
    bool unregisterClass(const std::string& name, int moduleId = 1);

    // The entry of a class name. Throws TXBase "Attempt to stream unregistered type '<name>'" when unknown.
    const StreamClassEntry& lookup(const std::string& name) const;
    // The entry of an object's dynamic class, for writing; throws TXBase the same way when unknown.
    const StreamClassEntry& lookupObject(const TStreamableBase& object) const;
    bool contains(const std::string& name) const;
    size_t size() const;

private:
    const StreamClassEntry* find(const std::string& name) const;

    mutable std::shared_mutex m_lock;
    std::vector<std::unique_ptr<StreamClassEntry>> m_entries;
};

// Registers a class in the process-wide registry for as long as the object lives; meant as a static object in
// the translation unit of the class. The linker keeps such an object only when something else of its
// translation unit is used, so a class that nothing names directly belongs in a family function below.
template <class X> class StreamClassRegistrar {
public:
    explicit StreamClassRegistrar(const char* name) : m_name(name) {
        StreamClassRegistry::global().registerClass<X>(name);
    }
    ~StreamClassRegistrar() { StreamClassRegistry::global().unregisterClass(m_name); }
    StreamClassRegistrar(const StreamClassRegistrar&) = delete;
    StreamClassRegistrar& operator=(const StreamClassRegistrar&) = delete;

private:
    std::string m_name;
};

// Registration of the built-in classes, one function per class family; the process-wide registry calls them.
void registerCellStreamClasses(StreamClassRegistry& registry);
void registerCalibrationStreamClasses(StreamClassRegistry& registry);
void registerOverlayStreamClasses(StreamClassRegistry& registry);
void registerStorageStreamClasses(StreamClassRegistry& registry);
// Features and feature lists, the cells' measurement records and the class rules.
void registerFeatureStreamClasses(StreamClassRegistry& registry);

} // namespace quadrel
