#pragma once

#include <QByteArray>
#include <QString>
#include <QTest>
#include <QWidget>

// With QUADREL_SCREENSHOTS set to a folder, a dialog as a test leaves it is saved there (docs/ pictures).
inline void screenshot(QWidget& w, const char* name) {
    const QByteArray dir = qgetenv("QUADREL_SCREENSHOTS");
    if (dir.isEmpty()) return;
    w.show();
    QTest::qWait(200);
    w.grab().save(QString::fromUtf8(dir) + "/" + name);
}
