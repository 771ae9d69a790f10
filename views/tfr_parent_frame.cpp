#include "tfr_parent_frame.h"

#include <algorithm>
#include <cmath>

#include <QScrollBar>
#include <QSignalBlocker>

#include "nearest_index.h"
#include "velmora_error.h"

TFr_ParentFrame::TFr_ParentFrame(QWidget* parent) : QFrame(parent) {
    resize(640, 347);
}

TFr_ParentFrame::~TFr_ParentFrame() = default;

void TFr_ParentFrame::AttachData(HYP_Data*) {}

void TFr_ParentFrame::Refresh() {}

void TFr_ParentFrame::SetLiveMode(bool) {}

void TFr_ParentFrame::NewRecords() {}

void TFr_ParentFrame::refreshFromControl() {
    try {
        Refresh();
        showFailure(QString());
    } catch (const VelmoraError& e) {
        const QString text = QString::fromStdString(e.what());
        showFailure(text);
        emit failed(text);
    }
}

void TFr_ParentFrame::showFailure(const QString&) {}

void TFr_ParentFrame::setMaximumQuietly(QScrollBar* bar, int maximum) {
    const QSignalBlocker block(bar);
    bar->setMaximum(std::max(0, maximum));
}

void TFr_ParentFrame::synchronizeBar(const QScrollBar* moved, const std::vector<double>& moved_wl,
                                     QScrollBar* other, const std::vector<double>& other_wl) {
    const double wl = moved_wl[std::min<std::size_t>(moved->value(), moved_wl.size() - 1)];
    const QSignalBlocker block(other);
    other->setValue(static_cast<int>(nearest_index(other_wl, wl)));
}
