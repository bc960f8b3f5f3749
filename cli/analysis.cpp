#include "cli/analysis.h"

#include "cli/image_input.h"
#include "core/threshold.h"
#include "dialogs/query_rules.h"
#include "dialogs/stream_file.h"
#include "persistence/ddm_layout.h"

#include <chrono>

#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace quadrel::cli {

namespace {

double number(const std::string& text, const std::string& option) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(v))
        throw UsageError("--" + option + " needs a number, not '" + text + "'");
    return v;
}

int integer(const std::string& text, const std::string& option) {
    const double v = number(text, option);
    if (v != static_cast<int>(v)) throw UsageError("--" + option + " needs a whole number, not '" + text + "'");
    return static_cast<int>(v);
}

} // namespace

std::vector<OptionSpec> analysisOptions() {
    return {
        {"features", "LIST", "default, all, or feature names separated by commas"},
        {"features-file", "F.fts", "the features of a feature-list file"},
        {"rule", "RULE.slt", "add the classes a class rule file makes", true},
        {"bright", "", "objects are brighter than the background"},
        {"dark", "", "objects are darker than the background (the default)"},
        {"threshold", "LO:HI", "threshold the grey levels LO to HI instead of the automatic level"},
        {"gaussian", "SIZE", "smooth the picture with the Gaussian filter of this size, then threshold again"},
        {"fill-holes", "", "fill the holes of the cells"},
        {"remove-border", "", "drop the cells within the border"},
        {"border-size", "N", "width of the border in pixels (default 1)"},
        {"min-size", "S", "drop cells of fewer than S pixels (default 9)"},
        {"roi", "TEMPLATE.xml", "restrict the work to the region of a template; the cells inside it are measured"},
        {"magnification", "M", "magnification of the region template (default 1)"},
        {"unit", "mm|inch", "unit of lengths and areas (default mm)"},
        {"class", "NAME", "measure the cells of this class", true},
        {"timings", "", "print on stderr how long decoding and the analysis took"},
    };
}

AnalysisPlan planFrom(const Invocation& inv) {
    AnalysisPlan p;
    if (inv.has("bright") && inv.has("dark")) throw UsageError("--bright and --dark exclude each other");
    p.bright = inv.has("bright");
    if (inv.has("unit")) {
        const std::string u = inv.value("unit");
        if (u == "mm") p.unitType = 0;
        else if (u == "inch") p.unitType = 1;
        else throw UsageError("--unit takes mm or inch, not '" + u + "'");
    }
    if (inv.has("remove-border")) p.removeBorder = true;
    if (inv.has("border-size")) {
        p.borderSize = integer(inv.value("border-size"), "border-size");
        if (*p.borderSize < 0) throw UsageError("--border-size cannot be negative");
    }
    if (inv.has("min-size")) p.minSize = number(inv.value("min-size"), "min-size");
    if (inv.has("magnification")) p.magnification = number(inv.value("magnification"), "magnification");
    if (inv.has("threshold")) {
        const std::string t = inv.value("threshold");
        const size_t colon = t.find(':');
        if (colon == std::string::npos) throw UsageError("--threshold takes LO:HI, not '" + t + "'");
        const int lo = integer(t.substr(0, colon), "threshold"), hi = integer(t.substr(colon + 1), "threshold");
        if (lo < 0 || hi > 255 || lo > hi) throw UsageError("--threshold needs 0 <= LO <= HI <= 255");
        p.threshold = std::make_pair(lo, hi);
    }
    if (inv.has("gaussian")) {
        p.gaussian = integer(inv.value("gaussian"), "gaussian");
        if (*p.gaussian < 3 || *p.gaussian > 19) throw UsageError("--gaussian takes a size from 3 to 19");
    }
    p.fillHoles = inv.has("fill-holes");
    p.roiFile = inv.valueOr("roi", "");
    if (inv.has("class")) p.classes = inv.options.at("class");
    p.features = inv.valueOr("features", "default");
    p.timings = inv.has("timings");
    if (inv.has("features-file")) {
        if (inv.has("features")) throw UsageError("--features and --features-file exclude each other");
        p.featuresFile = inv.value("features-file");
    }
    if (inv.has("rule")) p.rules = inv.options.at("rule");
    if (p.features != "default" && p.features != "all") {
        size_t start = 0;
        while (start <= p.features.size()) {
            const size_t comma = std::min(p.features.find(',', start), p.features.size());
            const std::string name = p.features.substr(start, comma - start);
            if (featureFromName(name).id() == 0) throw UsageError("no feature is called '" + name + "'");
            start = comma + 1;
        }
    }
    return p;
}

FeatureList featuresFor(const AnalysisPlan& plan, const CQuadrelDoc& doc) {
    FeatureList list;
    int32_t pos = 0;
    if (!plan.featuresFile.empty()) {
        TSetOfFeatures set;
        const StreamReadResult r = readObjectFile(plan.featuresFile, set);
        if (!r.ok()) throw std::runtime_error(plan.featuresFile + ": " + streamReadMessage(r, "feature-list file"));
        for (const TFeature& f : set) list[pos++] = f;
        return list;
    }
    if (plan.features == "default") return *doc.GetFeatures();
    if (plan.features == "all") {
        for (int32_t id = 1; id <= 62; ++id) list[pos++] = TFeature(id);
        return list;
    }
    size_t start = 0;
    while (start <= plan.features.size()) {
        const size_t comma = std::min(plan.features.find(',', start), plan.features.size());
        list[pos++] = featureFromName(plan.features.substr(start, comma - start));
        start = comma + 1;
    }
    return list;
}

Analysis analyse(const std::string& path, const AnalysisPlan& plan) {
    Analysis a;
    a.ui = std::make_unique<CliUi>();
    a.doc = std::make_unique<CQuadrelDoc>(a.ui.get());
    CQuadrelDoc* doc = a.doc.get();
    CliUi* ui = a.ui.get();

    doc->m_unitType = plan.unitType;
    doc->m_objectType = plan.bright ? 1 : 0;
    if (plan.removeBorder) *doc->m_removeBorder = *plan.removeBorder;
    if (plan.borderSize) *doc->m_borderSize = *plan.borderSize;
    if (plan.minSize) *doc->m_minObjectSize = *plan.minSize;
    if (plan.magnification) *doc->m_roiMagnification = *plan.magnification;
    if (plan.gaussian) doc->m_gaussianSize->value = *plan.gaussian;

    std::string error;
    using Clock = std::chrono::steady_clock;
    const auto t0 = Clock::now();
    auto t1 = t0;
    if (path.empty() || !isDdmDocument(path)) {
        // Pictures are decoded here, so that decoding and analysis can be timed apart.
        BitmapPtr picture = loadPicture(path);
        t1 = Clock::now();
        if (!doc->OpenPicture(picture, path.empty() ? "sample" : path, error)) throw std::runtime_error(error);
    } else if (!doc->OnOpenDocument(path, error)) {
        throw std::runtime_error(error);
    }
    auto check = [&] {
        if (!ui->messages.empty()) throw std::runtime_error(ui->messages.front());
    };
    check();
    if (plan.gaussian) {
        doc->OnGaussianFilter();
        if (!plan.threshold) doc->OnAutomaticThreshold();
    }
    if (plan.threshold) {
        if (!doc->ManualThreshold(plan.threshold->first, plan.threshold->second))
            throw std::runtime_error("the threshold could not be applied");
    }
    if (plan.fillHoles) doc->OnFillHoles();
    check();
    if (!plan.roiFile.empty() && !doc->LoadROI(plan.roiFile, error)) throw std::runtime_error(error);
    for (const std::string& file : plan.rules) {
        TQueryQueue rule;
        const StreamReadResult r = rule.load(file);
        if (!r.ok()) throw std::runtime_error(file + ": " + streamReadMessage(r, "class rule file"));
        doc->AddRuleClasses(rule);
    }
    if (!plan.classes.empty()) {
        for (const std::string& c : plan.classes)
            if (!doc->ClassExists(c)) throw std::runtime_error("there is no class '" + c + "'");
        doc->SetActiveClasses(plan.classes);
    }
    doc->SetFeatures(featuresFor(plan, *doc));
    check();
    if (plan.timings) {
        const auto t2 = Clock::now();
        auto secs = [](auto d) { return std::chrono::duration<double>(d).count(); };
        std::fprintf(stderr, "%s: decode=%.3fs analysis=%.3fs total=%.3fs cells=%zu\n",
                     path.empty() ? "sample" : path.c_str(), secs(t1 - t0), secs(t2 - t1), secs(t2 - t0),
                     doc->WorkingCells().size());
    }
    return a;
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

Progress::Progress(size_t total) : m_total(total), m_active(total > 1 && isatty(STDERR_FILENO)) {}

Progress::~Progress() { clear(); }

void Progress::clear() {
    if (m_active) std::fputs("\r\033[K", stderr);
}

void Progress::step(size_t index, const std::string& name) {
    if (!m_active) return;
    std::fprintf(stderr, "\r\033[K[%zu/%zu] %s", index + 1, m_total, name.c_str());
    std::fflush(stderr);
}

} // namespace quadrel::cli
