#pragma once

#include <QDialog>

namespace quadrel {

// The program's version, as the About box and the layout profile name use it.
QString programVersion();

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

} // namespace quadrel
