#pragma once

#include "core/threshold.h"

#include <QDialog>

#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QSpinBox;
class QTimer;
class QComboBox;
class QListWidget;
class QPushButton;

namespace quadrel {

class CGradientCtrl;
class CHistogramCtrl;
class CQuadrelDoc;

// "Thresholding": the user picks the object levels by eye on the histogram of the channel, with an
// optional hysteresis pair, while the image view shows the result in the preview slot.
class CManualThresholdingDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr uint32_t kDefaultColour = 0xFFC000C0u;
    static constexpr int kLevels = 256;

    explicit CManualThresholdingDialog(CQuadrelDoc* doc, QWidget* parent = nullptr);

    // The first range as fractions, before the dialog is shown.
    void setRange(float lower, float upper);

    std::shared_ptr<CThresholdObject> currentThreshold() const { return m_current; }
    const CThresholdObjects& stack() const { return *m_stack; }
    CHistogramCtrl* histogram() const { return m_histogram; }
    CGradientCtrl* colourBar() const { return m_colourBar; }
    QSpinBox* spin(int role) const { return m_spins[role]; }
    QCheckBox* hysteresisBox() const { return m_hysteresis; }

    // Recomputes the threshold's tables from its markers, applies the stack to the preview and puts the
    // spins in step with the markers.
    void fullUpdate();
    // A spin stopped moving: the preview follows.
    void finishSpinScroll() { fullUpdate(); }

    // Beyond the single grey threshold: the channel of the current threshold, and further thresholds
    // combined with the ones before them by an operation. Without these choices the dialog keeps to its
    // one grey "SET" threshold.
    QComboBox* channelBox() const { return m_channelBox; }
    QComboBox* operationBox() const { return m_operationBox; }
    QListWidget* stackList() const { return m_stackList; }
    void setChannel(int channel);
    // Appends a threshold on the chosen channel with the chosen operation and makes it the current one.
    void addThreshold(int channel, int operation);
    // Makes a threshold of the stack the current one; the first one cannot be removed.
    void selectThreshold(int index);
    void removeThreshold(int index);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void onHysteresisChanged();
    void channelSetUp();
    void applyStackToPreview();
    void spinsFromRoles();
    void onSpinChanged(int role, int value);
    void refreshStackList();
    int roleIndex(int role) const;

    CQuadrelDoc* m_doc;
    std::shared_ptr<CThresholdObjects> m_stack;
    std::shared_ptr<CThresholdObject> m_current;
    std::shared_ptr<class CGradient> m_gradient;
    CHistogramCtrl* m_histogram = nullptr;
    CGradientCtrl* m_colourBar = nullptr;
    QSpinBox* m_spins[4] = {};
    QCheckBox* m_hysteresis = nullptr;
    QTimer* m_scrollEnd = nullptr;
    QComboBox* m_channelBox = nullptr;
    QComboBox* m_operationBox = nullptr;
    QListWidget* m_stackList = nullptr;
    bool m_settingSpins = false;
    bool m_initialised = false;
};

// The document's "Manual Threshold..." command with the dialog: prepares the preview slot, runs the
// dialog (through `exec`, which tests replace) and, on OK, labels the preview as the new object mask.
// Returns whether the label image was replaced.
bool runManualThresholdCommand(CQuadrelDoc& doc, QWidget* parent,
                               const std::function<int(CManualThresholdingDialog&)>& exec = {});

} // namespace quadrel
