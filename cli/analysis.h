#pragma once

#include "cli/command_table.h"
#include "document/quadrel_doc.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace quadrel::cli {

// The options every analysing command shares, in the table's form.
std::vector<OptionSpec> analysisOptions();

// The analysis a set of options asks for, checked once before any file is opened.
struct AnalysisPlan {
    bool bright = false;
    int unitType = 0;
    std::optional<bool> removeBorder;
    std::optional<int> borderSize;
    std::optional<double> minSize;
    std::optional<double> magnification;
    std::optional<std::pair<int, int>> threshold;
    std::optional<int> gaussian;
    bool fillHoles = false;
    std::string roiFile;
    std::vector<std::string> classes;
    std::string features = "default";
    bool timings = false;
    std::string featuresFile; // a feature-list file instead of --features
    std::vector<std::string> rules; // class rule files whose classes are added
};
AnalysisPlan planFrom(const Invocation& inv);

// The document's messages are collected instead of shown; there are no dialogs to open.
class CliUi : public UiServices {
public:
    void showMessage(MessageKind, const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;
};

struct Analysis {
    std::unique_ptr<CliUi> ui;
    std::unique_ptr<CQuadrelDoc> doc;
};

// Opens a file into a fresh document (the bundled sample when the path is empty) and runs the plan.
// Throws std::runtime_error with the reason when the file cannot be opened or a step fails.
Analysis analyse(const std::string& path, const AnalysisPlan& plan);

// The features the plan asks for, in column order.
FeatureList featuresFor(const AnalysisPlan& plan, const CQuadrelDoc& doc);

// A CSV field: quoted (with inner quotes doubled) only when it must be.
std::string csvField(const std::string& text);

// Shows which file is being analysed when several are and stderr is a terminal.
class Progress {
public:
    explicit Progress(size_t total);
    ~Progress();
    void step(size_t index, const std::string& name);
    // Clears the line so a message can be printed.
    void clear();

private:
    size_t m_total;
    bool m_active;
};

} // namespace quadrel::cli
