#include "dialogs/manual_thresholding_dialog.h"

#include "core/labelling.h"
#include "dialogs/gradient.h"
#include "dialogs/gradient_ctrl.h"
#include "dialogs/histogram_ctrl.h"
#include "document/quadrel_doc.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace quadrel {

namespace {

struct ChannelLook {
    uint32_t line, start, end;
};

constexpr ChannelLook kChannelLooks[7] = {
    {0xFFFF0000u, 0xFF000000u, 0xFFFF0000u}, {0xFF009300u, 0xFF000000u, 0xFF00FF00u},
    {0xFF0000FFu, 0xFF000000u, 0xFF0000FFu}, {0xFF000000u, 0xFF000000u, 0xFFFFFFFFu},
    {0xFF000000u, 0xFFFF0000u, 0xFFFF0000u}, {0xFF000000u, 0xFF000000u, 0xFFFFFFFFu},
    {0xFF000000u, 0xFF000000u, 0xFFFFFFFFu},
};

} // namespace

CManualThresholdingDialog::CManualThresholdingDialog(CQuadrelDoc* doc, QWidget* parent)
    : QDialog(parent), m_doc(doc), m_stack(std::make_shared<CThresholdObjects>()),
      m_current(std::make_shared<CThresholdObject>(0.25f, 0.75f)) {
    setWindowTitle(QStringLiteral("Thresholding"));
    m_current->channel = kChannelRed;
    m_current->operation = kOpIntersection;

    m_histogram = new CHistogramCtrl(this);
    m_histogram->setMinimumSize(400, 140);
    m_colourBar = new CGradientCtrl(this);
    m_colourBar->setMinimumSize(400, 40);

    auto* threshold = new QGroupBox(QStringLiteral("Threshold"), this);
    auto* tGrid = new QGridLayout(threshold);
    auto* hyst = new QGroupBox(QStringLiteral("Hysteresis"), this);
    auto* hGrid = new QGridLayout(hyst);
    m_hysteresis = new QCheckBox(QStringLiteral("Check to enable Hysteresis"), hyst);
    hGrid->addWidget(m_hysteresis, 0, 0, 1, 4);
    const char* labels[4] = {"Lower:", "Upper:", "Lower :", "Upper:"};
    for (int role = 0; role < 4; ++role) {
        m_spins[role] = new QSpinBox(this);
        m_spins[role]->setRange(0, 255);
        m_spins[role]->setObjectName(QStringLiteral("spin%1").arg(903 + role));
        auto* label = new QLabel(QString::fromLatin1(labels[role]), this);
        if (role < 2) {
            tGrid->addWidget(label, role, 0);
            tGrid->addWidget(m_spins[role], role, 1);
        } else {
            hGrid->addWidget(label, 1, (role - 2) * 2);
            hGrid->addWidget(m_spins[role], 1, (role - 2) * 2 + 1);
        }
        connect(m_spins[role], &QSpinBox::valueChanged, this, [this, role](int v) { onSpinChanged(role, v); });
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* lower = new QHBoxLayout;
    lower->addWidget(threshold, 1);
    lower->addWidget(hyst, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_histogram, 1);
    layout->addWidget(m_colourBar);
    layout->addLayout(lower);
    layout->addWidget(buttons);

    // A spin's arrows move the marker at once; the preview follows once the user stops.
    m_scrollEnd = new QTimer(this);
    m_scrollEnd->setSingleShot(true);
    m_scrollEnd->setInterval(250);
    connect(m_scrollEnd, &QTimer::timeout, this, &CManualThresholdingDialog::finishSpinScroll);

    connect(m_histogram, &CHistogramCtrl::markerNotify, this, [this](int code, std::shared_ptr<CMarker>) {
        if (code == CHistogramCtrl::kMoving) spinsFromRoles();
        else if (code == CHistogramCtrl::kMoved) fullUpdate();
    });
    connect(m_colourBar, &CGradientCtrl::pegNotify, this, [this](int code, CPeg, int) {
        if (code == CGradientCtrl::kPegMoved) fullUpdate();
    });
    connect(m_colourBar, &CGradientCtrl::newPegRequested, this, [this](float position, uint32_t colour) {
        m_colourBar->gradient()->AddPeg(colour, std::clamp(position, 0.0f, 1.0f));
        m_colourBar->redraw();
        fullUpdate();
    });
    connect(m_hysteresis, &QCheckBox::toggled, this, [this] { onHysteresisChanged(); });

    // Initialisation: the colour bar, then the grey "SET" threshold pushed onto the stack.
    m_colourBar->setPegSides(true, false);
    m_gradient = m_colourBar->gradient();
    m_gradient->SetStartPegColour(0xFF000000u);
    m_gradient->SetEndPegColour(kDefaultColour);
    m_gradient->SetUseBackground(false);
    m_gradient->SetInterpolationMethod(kInterpolateLinear);
    m_current->channel = kChannelGrey;
    m_current->operation = kOpSet;
    m_current->setColour(kDefaultColour & 0x00FFFFFFu);
    auto copy = std::make_shared<CThresholdObject>(*m_current);
    copy->markers = std::make_shared<CMarkerVector>(*m_current->markers);
    for (auto& m : copy->markers->markers) m = std::make_shared<CMarker>(*m);
    m_stack->items.push_back(copy);
    copy->name = "Channel: " + std::to_string(m_stack->items.size());
    m_current = copy;
    onHysteresisChanged();
    m_initialised = true;
}

void CManualThresholdingDialog::setRange(float lower, float upper) {
    m_current->setRange(lower, upper);
    fullUpdate();
}

void CManualThresholdingDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    fullUpdate();
}

int CManualThresholdingDialog::roleIndex(int role) const {
    const CMarkerVector& mv = *m_current->markers;
    switch (role) {
    case 0: return mv.minimumIndex();
    case 1: return mv.maximumIndex();
    case 2: return mv.hysteresisMinimumIndex();
    default: return mv.hysteresisMaximumIndex();
    }
}

void CManualThresholdingDialog::onHysteresisChanged() {
    const bool on = m_hysteresis->isChecked();
    m_spins[2]->setEnabled(on);
    m_spins[3]->setEnabled(on);
    m_current->setHysteresis(on);
    channelSetUp();
    fullUpdate();
}

void CManualThresholdingDialog::channelSetUp() {
    m_histogram->setMarkers(m_current->markers);
    const int channel = std::clamp(m_current->channel, 0, 6);
    const ChannelLook& look = kChannelLooks[channel];
    m_gradient->RemoveAllPegs();
    m_gradient->SetInterpolationMethod(kInterpolateLinear);
    m_gradient->SetStartPegColour(look.start);
    m_gradient->SetEndPegColour(look.end);
    if (channel == kChannelHue) {
        m_gradient->SetInterpolationMethod(kInterpolateHue);
        m_gradient->AddPeg(0xFF00FF00u, 0.33f);
    }
    m_histogram->setLineColour(look.line);
    if (m_doc) {
        if (auto hist = m_doc->GetHistogram(channel + 1))
            m_histogram->setValues(std::vector<double>(hist->begin(), hist->end()));
        else
            m_histogram->setValues({});
        m_current->source = m_doc->GetImage(channel + 1);
    }
    m_colourBar->redraw();
}

void CManualThresholdingDialog::fullUpdate() {
    // The marker form of the lookup table follows every change of the markers, so the preview (and the
    // mask kept on OK) is always what the markers show.
    m_current->buildLookupTable();
    applyStackToPreview();
    spinsFromRoles();
    m_histogram->redraw();
}

void CManualThresholdingDialog::applyStackToPreview() {
    if (!m_doc || m_stack->items.empty()) return;
    BitmapPtr preview = m_doc->GetImage(kSlotThresholdPreview);
    if (!preview) return;
    m_stack->apply(*preview);
    m_doc->releaseDisplayCache();
    m_doc->UpdateAllViews(nullptr, kHintGeneral);
}

void CManualThresholdingDialog::spinsFromRoles() {
    m_settingSpins = true;
    const CMarkerVector& mv = *m_current->markers;
    for (int role = 0; role < 4; ++role) {
        const int index = roleIndex(role);
        m_spins[role]->setValue(static_cast<int>(mv.position(static_cast<size_t>(index)) * kLevels));
    }
    m_settingSpins = false;
}

void CManualThresholdingDialog::onSpinChanged(int role, int value) {
    if (m_settingSpins || !m_initialised) return;
    CMarkerVector& mv = *m_current->markers;
    const auto index = static_cast<size_t>(roleIndex(role));
    if (index >= mv.markers.size()) return;
    mv.markers[index]->position = static_cast<float>(value) / kLevels;
    std::stable_sort(mv.markers.begin(), mv.markers.end(), [](const auto& a, const auto& b) { return a->position < b->position; });
    m_histogram->redraw();
    m_scrollEnd->start();
}

bool runManualThresholdCommand(CQuadrelDoc& doc, QWidget* parent,
                               const std::function<int(CManualThresholdingDialog&)>& exec) {
    BitmapPtr source = doc.GetImage(kSlotSource);
    if (!source) return false;
    Status st = Status::Ok;
    BitmapPtr preview = Bitmap::create(source->width(), source->height(), PixelFormat::Argb32, &st);
    if (!preview) return false;
    doc.SetImage(kSlotThresholdPreview, preview);
    int result = QDialog::Rejected;
    {
        CManualThresholdingDialog dialog(&doc, parent);
        if (auto hist = doc.GetHistogram(kSlotGrey)) {
            const float t = static_cast<float>(automaticLevel(*hist)) / 256.0f;
            if (doc.m_objectType == 1)
                dialog.setRange(t, 1.0f);
            else
                dialog.setRange(0.0f, t);
        }
        result = exec ? exec(dialog) : dialog.exec();
    }
    doc.EraseImage(kSlotThresholdPreview);
    bool replaced = false;
    if (result == QDialog::Accepted && preview->takeLastStatus() == Status::Ok) {
        clearBorder(*preview, 0);
        if (labelMask(*preview).status == LabelStatus::Ok) {
            doc.InstallLabelImage(preview);
            replaced = true;
        }
    }
    doc.releaseDisplayCache();
    doc.UpdateAllViews(nullptr, kHintGeneral);
    return replaced;
}

} // namespace quadrel
