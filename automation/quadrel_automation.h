#pragma once

#include <QDBusVirtualObject>
#include <QString>

#include <functional>

namespace quadrel {

class CQuadrelDoc;

// The open document as a D-Bus object (interface Quadrel.IQuadrel). Messages are dispatched here by hand
// so that the interface is exactly the one its introspection file describes: argument types are checked
// and answered with an error, never guessed, and the properties are served from the same table.
class QuadrelAutomation : public QDBusVirtualObject {
    Q_OBJECT
public:
    static constexpr const char* kService = "Quadrel.Document";
    static constexpr const char* kPath = "/Document";
    static constexpr const char* kInterface = "Quadrel.IQuadrel";

    // A second start of the program hands its file to the running one through this interface.
    static constexpr const char* kInstanceInterface = "Quadrel.Instance";

    // `document` gives the document open at the time of each call (null when there is none).
    explicit QuadrelAutomation(std::function<CQuadrelDoc*()> document, QObject* parent = nullptr);

    // What the running program does with a file a second start hands over; true when it opened it.
    void setOpenFileHandler(std::function<bool(const QString&)> handler) { m_openFile = std::move(handler); }

    // Asks the program that owns the name to open a file; false when no program answers.
    static bool handOver(QDBusConnection connection, const QString& path, QString& error);

    // Registers the object and, when `claimName` is set, the well-known name. False with the reason when
    // the bus or the name cannot be had.
    bool registerOn(QDBusConnection connection, bool claimName, QString& error);

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

    // The interface description: the program's type library.
    static QString interfaceXml();

private:
    std::function<CQuadrelDoc*()> m_document;
    std::function<bool(const QString&)> m_openFile;
};

} // namespace quadrel
