#pragma once

#include <optional>
#include <string>

namespace quadrel {

class CQuadrelDoc;

// What the document needs from whoever hosts it: the desktop program shows dialogs, a wait cursor and
// message boxes; the command-line tool and the tests answer without a window. The defaults do nothing
// and decline every dialog.
class UiServices {
public:
    virtual ~UiServices() = default;

    // Long steps: the program shows the wait cursor and says in the status bar what is running.
    virtual void beginBusy(const std::string& what) {}
    virtual void endBusy() {}

    enum class MessageKind { Information, Warning, Error };
    virtual void showMessage(MessageKind kind, const std::string& text) {}

    // Modal dialogs opened by document commands; each returns true when the user pressed OK and the
    // dialog has changed the document's state accordingly.
    virtual bool runClassSetup(CQuadrelDoc& doc) { return false; }
    virtual bool runFeaturesSetup(CQuadrelDoc& doc) { return false; }
    virtual bool runManualThreshold(CQuadrelDoc& doc) { return false; }

    // File choosers; nullopt when the user cancels.
    virtual std::optional<std::string> chooseOpenFile(const std::string& title, const std::string& filter,
                                                      const std::string& initialDir) {
        return std::nullopt;
    }
    virtual std::optional<std::string> chooseSaveFile(const std::string& title, const std::string& filter,
                                                      const std::string& initialPath) {
        return std::nullopt;
    }
};

// Shows the wait cursor for one scope.
class BusyScope {
public:
    BusyScope(UiServices& ui, const std::string& what) : m_ui(ui) { m_ui.beginBusy(what); }
    ~BusyScope() { m_ui.endBusy(); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    UiServices& m_ui;
};

} // namespace quadrel
