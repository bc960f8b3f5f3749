// The table of quadrel-cli's commands.
#include "cli/analysis.h"
#include "cli/command_table.h"

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace quadrel::cli {

namespace {

// Where a table goes: stdout, or the file of -o/--output.
class Output {
public:
    explicit Output(const Invocation& inv) {
        if (inv.has("output")) {
            m_path = inv.value("output");
            m_file = std::fopen(m_path.c_str(), "w");
            if (!m_file) throw std::runtime_error(m_path + ": cannot write the table");
        }
    }
    ~Output() {
        if (m_file) std::fclose(m_file);
    }
    FILE* stream() const { return m_file ? m_file : stdout; }
    void finish() {
        if (m_file && std::fclose(std::exchange(m_file, nullptr)) != 0)
            throw std::runtime_error(m_path + ": cannot write the table");
        if (!m_file && std::fflush(stdout) != 0) throw std::runtime_error("cannot write the table");
    }

private:
    std::string m_path;
    FILE* m_file = nullptr;
};

std::vector<std::string> filesOf(const Invocation& inv) {
    std::vector<std::string> files = inv.arguments;
    if (files.empty()) files.push_back(""); // the bundled sample
    return files;
}

std::string shownName(const std::string& path) { return path.empty() ? "sample" : path; }

// Runs `body` on the analysis of every file; a file that fails is reported and the others go on.
template <typename Body>
int forEachFile(const Invocation& inv, Body&& body) {
    const AnalysisPlan plan = planFrom(inv);
    const std::vector<std::string> files = filesOf(inv);
    int status = 0;
    bool headerWritten = false;
    Progress progress(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        progress.step(i, shownName(files[i]));
        try {
            Analysis a = analyse(files[i], plan);
            body(files[i], *a.doc, !headerWritten);
            headerWritten = true;
        } catch (const UsageError&) {
            throw;
        } catch (const std::exception& e) {
            progress.clear();
            std::fprintf(stderr, "quadrel-cli: %s: %s\n", shownName(files[i]).c_str(), e.what());
            status = 1;
        }
    }
    return status;
}

std::string number(const char* format, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

int runMeasure(const Invocation& inv) {
    Output out(inv);
    const bool several = inv.arguments.size() > 1;
    const int status = forEachFile(inv, [&](const std::string& file, CQuadrelDoc& doc, bool first) {
        const FeatureList& features = *doc.GetFeatures();
        const FeatureValueTable& values = *doc.GetFeatureValues();
        if (first) {
            std::string head = "Id";
            if (several) head += ",File";
            for (const auto& [pos, f] : features) head += "," + csvField(featureName(f));
            std::fprintf(out.stream(), "%s\n", head.c_str());
        }
        const TCellIdList cells = doc.WorkingCells();
        for (size_t row = 0; row < cells.size(); ++row) {
            std::string line = std::to_string(cells.ids()[row].label);
            if (several) line += "," + csvField(shownName(file));
            for (const auto& [pos, f] : features) {
                auto it = values.find(f);
                line += ",";
                if (it != values.end() && row < it->second->size()) line += number("%.9g", (*it->second)[row]);
            }
            std::fprintf(out.stream(), "%s\n", line.c_str());
        }
    });
    out.finish();
    return status;
}

int runStats(const Invocation& inv) {
    Output out(inv);
    const bool several = inv.arguments.size() > 1;
    const int status = forEachFile(inv, [&](const std::string& file, CQuadrelDoc& doc, bool first) {
        const FeatureList& features = *doc.GetFeatures();
        const StatisticsTable& stats = *doc.GetStatistics();
        if (first) {
            std::string head = "Statistic";
            if (several) head += ",File";
            for (const auto& [pos, f] : features) head += "," + csvField(featureName(f));
            std::fprintf(out.stream(), "%s\n", head.c_str());
        }
        for (int row = 0; row < kStatisticRowCount; ++row) {
            std::string line = statisticRowLabels()[static_cast<size_t>(row)];
            if (several) line += "," + csvField(shownName(file));
            for (const auto& [pos, f] : features) {
                auto it = stats.find(f);
                line += ",";
                if (it != stats.end()) line += number("%.17g", it->second.value(static_cast<StatisticRow>(row)));
            }
            std::fprintf(out.stream(), "%s\n", line.c_str());
        }
    });
    out.finish();
    return status;
}

int runClasses(const Invocation& inv) {
    Output out(inv);
    const bool several = inv.arguments.size() > 1;
    const int status = forEachFile(inv, [&](const std::string& file, CQuadrelDoc& doc, bool first) {
        if (first) std::fprintf(out.stream(), "%sClass,Size,Cells\n", several ? "File," : "");
        for (const auto& [name, list] : *doc.GetClasses()) {
            std::string ids;
            for (const TCellId& id : list->ids()) ids += (ids.empty() ? "" : " ") + std::to_string(id.label);
            std::fprintf(out.stream(), "%s%s,%zu,%s\n", several ? (csvField(shownName(file)) + ",").c_str() : "",
                         csvField(name).c_str(), list->size(), ids.c_str());
        }
    });
    out.finish();
    return status;
}

int runSave(const Invocation& inv) {
    const AnalysisPlan plan = planFrom(inv);
    const std::string& in = inv.arguments[0];
    const std::string& out = inv.arguments[1];
    Analysis a = analyse(in, plan);
    std::string error;
    if (!a.doc->OnSaveDocument(out, error)) throw std::runtime_error(out + ": " + error);
    return 0;
}

int runExportImage(const Invocation& inv) {
    if (inv.has("label") && inv.has("roi-mask")) throw UsageError("--label and --roi-mask exclude each other");
    const AnalysisPlan plan = planFrom(inv);
    Analysis a = analyse(inv.arguments[0], plan);
    const auto kind = inv.has("label")      ? CQuadrelDoc::ExportKind::Labels
                      : inv.has("roi-mask") ? CQuadrelDoc::ExportKind::RegionMask
                                            : CQuadrelDoc::ExportKind::Image;
    std::string error;
    if (!a.doc->ExportImage(kind, inv.arguments[1], error)) throw std::runtime_error(inv.arguments[1] + ": " + error);
    return 0;
}

std::vector<OptionSpec> withOutput(std::vector<OptionSpec> options) {
    options.insert(options.begin(), {"output", "FILE", "write the table to FILE instead of standard output"});
    return options;
}

const char* const kFilesNote =
    "Each FILE is an image (.bmp, .png, .jpg, .tif) opened as the program opens it: calibrated from its\n"
    "resolution, restricted to the image minus its outer pixel ring, thresholded automatically. Without FILE\n"
    "the bundled sample picture is used. A file that cannot be opened is reported on stderr as\n"
    "'quadrel-cli: FILE: REASON' and skipped; the exit status is then 1.";

} // namespace

const std::vector<CommandSpec>& commands() {
    static const std::vector<CommandSpec> table = {
        {"measure", "[FILE...]", "Prints the feature table: one row per working cell, one column per feature.",
         std::string(kFilesNote) +
             "\n\nThe first column, Id, is the cell's label value (0xFF000001 prints as 4278190081); with several\n"
             "files a File column follows. Values are printed with %.9g.",
         0, static_cast<size_t>(-1), withOutput(analysisOptions()), runMeasure},
        {"stats", "[FILE...]", "Prints the statistics of every feature over the working cells.",
         std::string(kFilesNote) +
             "\n\nRows: Size, Sum, Mean, Minimum, Maximum, Std Dev, CV, Skewness, Kurtosis; values printed with "
             "%.17g.",
         0, static_cast<size_t>(-1), withOutput(analysisOptions()), runStats},
        {"classes", "[FILE...]", "Prints every class with its size and its cells.", kFilesNote, 0,
         static_cast<size_t>(-1), withOutput(analysisOptions()), runClasses},
        {"save", "FILE OUT.ddm", "Analyses FILE and saves the analysis as a document.",
         "The document holds the image, the label image the options produced and the region of interest;\n"
         "opening it again measures exactly like FILE did. An existing OUT.ddm is replaced.",
         2, 2, analysisOptions(), runSave},
        {"export-image", "FILE OUT", "Writes the image, the label image or the region mask of FILE's analysis.",
         "The format follows OUT's extension (.bmp, .jpg, .tif, .png; .ddm writes a document holding the\n"
         "picture). The label image carries 0xFF000000 + n on the pixels of cell n and 0 elsewhere; the region\n"
         "mask is 255 inside the region of interest and 0 outside.",
         2, 2,
         [] {
             auto o = analysisOptions();
             o.insert(o.begin(), {{"label", "", "write the label image"},
                                  {"roi-mask", "", "write the mask of the region of interest"}});
             return o;
         }(),
         runExportImage},
    };
    return table;
}

} // namespace quadrel::cli
