#pragma once

#include "util/handles.h"

#include <QObject>

class QSocketNotifier;

namespace velquist {

// SIGINT, SIGTERM and SIGHUP as a Qt signal: a session that ends, or a kill, then stops
// the converter the way 取消 does, so that it too leaves no partial file behind. One
// instance per process.
class StopSignals : public QObject {
    Q_OBJECT

  public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

  signals:
    void Received();

  private:
    UniqueFd readEnd_;
    UniqueFd writeEnd_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace velquist
