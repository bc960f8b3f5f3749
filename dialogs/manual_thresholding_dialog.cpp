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
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QSignalBlocker>
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

    // The stack of thresholds: the channel of the current one, and more thresholds with an operation.
    auto* stackBox = new QGroupBox(QStringLiteral("Thresholds"), this);
    auto* sGrid = new QGridLayout(stackBox);
    m_channelBox = new QComboBox(stackBox);
    for (int c = 0; c < 7; ++c) m_channelBox->addItem(QString::fromLatin1(channelName(c)), c);
    m_operationBox = new QComboBox(stackBox);
    for (int op : {kOpIntersection, kOpUnion, kOpXor, kOpDifference, kOpComplement})
        m_operationBox->addItem(QString::fromLatin1(operationName(op)), op);
    m_stackList = new QListWidget(stackBox);
    m_stackList->setMaximumHeight(70);
    auto* addButton = new QPushButton(QStringLiteral("Add threshold"), stackBox);
    auto* removeButton = new QPushButton(QStringLiteral("Remove"), stackBox);
    sGrid->addWidget(new QLabel(QStringLiteral("Channel:"), stackBox), 0, 0);
    sGrid->addWidget(m_channelBox, 0, 1);
    sGrid->addWidget(m_operationBox, 0, 2);
    sGrid->addWidget(addButton, 0, 3);
    sGrid->addWidget(m_stackList, 1, 0, 1, 3);
    sGrid->addWidget(removeButton, 1, 3, Qt::AlignTop);
    connect(m_channelBox, &QComboBox::activated, this, [this](int i) { setChannel(m_channelBox->itemData(i).toInt()); });
    connect(addButton, &QPushButton::clicked, this, [this] {
        addThreshold(m_channelBox->currentData().toInt(), m_operationBox->currentData().toInt());
    });
    connect(removeButton, &QPushButton::clicked, this, [this] { removeThreshold(m_stackList->currentRow()); });
    connect(m_stackList, &QListWidget::currentRowChanged, this, [this](int row) { selectThreshold(row); });

    auto* lower = new QHBoxLayout;
    lower->addWidget(threshold, 1);
    lower->addWidget(hyst, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_histogram, 1);
    layout->addWidget(m_colourBar);
    layout->addLayout(lower);
    layout->addWidget(stackBox);
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
    m_channelBox->setCurrentIndex(m_current->channel);
    refreshStackList();
    m_initialised = true;
}

void CManualThresholdingDialog::refreshStackList() {
    const QSignalBlocker block(m_stackList);
    m_stackList->clear();
    int currentRow = -1;
    for (size_t i = 0; i < m_stack->items.size(); ++i) {
        const auto& t = m_stack->items[i];
        m_stackList->addItem(QStringLiteral("%1  %2  %3")
                                 .arg(QString::fromStdString(t->name), QString::fromLatin1(channelName(t->channel)),
                                      QString::fromLatin1(operationName(t->operation))));
        if (t == m_current) currentRow = static_cast<int>(i);
    }
    m_stackList->setCurrentRow(currentRow);
}

void CManualThresholdingDialog::setChannel(int channel) {
    if (channel < 0 || channel > 6 || channel == m_current->channel) return;
    m_current->channel = channel;
    channelSetUp();
    refreshStackList();
    fullUpdate();
}

void CManualThresholdingDialog::addThreshold(int channel, int operation) {
    auto t = std::make_shared<CThresholdObject>(0.25f, 0.75f);
    t->channel = std::clamp(channel, 0, 6);
    t->operation = operation;
    t->setColour(kDefaultColour & 0x00FFFFFFu);
    m_stack->items.push_back(t);
    t->name = "Channel: " + std::to_string(m_stack->items.size());
    m_current = t;
    {
        const QSignalBlocker block(m_hysteresis);
        m_hysteresis->setChecked(false);
    }
    m_spins[2]->setEnabled(false);
    m_spins[3]->setEnabled(false);
    m_channelBox->setCurrentIndex(t->channel);
    channelSetUp();
    refreshStackList();
    fullUpdate();
}

void CManualThresholdingDialog::selectThreshold(int index) {
    if (index < 0 || index >= static_cast<int>(m_stack->items.size())) return;
    const auto& t = m_stack->items[static_cast<size_t>(index)];
    if (t == m_current) return;
    m_current = t;
    {
        const QSignalBlocker block(m_hysteresis);
        m_hysteresis->setChecked(t->withHysteresis());
    }
    m_spins[2]->setEnabled(t->withHysteresis());
    m_spins[3]->setEnabled(t->withHysteresis());
    m_channelBox->setCurrentIndex(t->channel);
    channelSetUp();
    fullUpdate();
}

void CManualThresholdingDialog::removeThreshold(int index) {
    if (index <= 0 || index >= static_cast<int>(m_stack->items.size())) return;
    const bool wasCurrent = m_stack->items[static_cast<size_t>(index)] == m_current;
    m_stack->items.erase(m_stack->items.begin() + index);
    if (wasCurrent) {
        m_current = m_stack->items[static_cast<size_t>(index - 1)];
        m_channelBox->setCurrentIndex(m_current->channel);
        channelSetUp();
    }
    refreshStackList();
    fullUpdate();
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
    for (const auto& t : m_stack->items) t->buildLookupTable();
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
