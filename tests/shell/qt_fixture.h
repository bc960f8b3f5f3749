#pragma once

#include "document/ui_services.h"

#include <QString>
#include <QTemporaryDir>
#include <deque>
#include <string>
#include <vector>

namespace quadrel::test {

// Answers the document's UI requests without windows: file choosers return scripted paths, messages
// are recorded.
class FakeUi : public UiServices {
public:
    struct Message {
        MessageKind kind;
        std::string text;
    };
    std::vector<Message> messages;
    std::deque<std::string> savePaths;
    std::deque<std::string> openPaths;
    std::vector<std::string> busySteps;

    void beginBusy(const std::string& what) override { busySteps.push_back(what); }
    void showMessage(MessageKind kind, const std::string& text) override { messages.push_back({kind, text}); }
    std::optional<std::string> chooseOpenFile(const std::string&, const std::string&, const std::string&) override;
    std::optional<std::string> chooseSaveFile(const std::string&, const std::string&, const std::string&) override;
};

// A private folder for one test program: the settings file, the XDG folders and scratch files live in it.
class Sandbox {
public:
    Sandbox();
    QString path(const QString& name) const { return m_dir.filePath(name); }
    // Writes the bundled sample picture and returns its path.
    QString samplePicture() const;

private:
    QTemporaryDir m_dir;
};

} // namespace quadrel::test
