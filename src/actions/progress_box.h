#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace velquist {

// The small box a file-manager action shows while it converts: "正在转换 N / M", a bar and
// 取消.
class ProgressBox : public QDialog {
    Q_OBJECT

  public:
    explicit ProgressBox(int total, QWidget* parent = nullptr);

    void SetDone(int done);
    // After 取消: the converter is stopping what runs.
    void SetStopping();

  signals:
    void CancelRequested();

  protected:
    void reject() override; // Escape and the window's close button cancel too

  private:
    int total_;
    QLabel* label_;
    QProgressBar* bar_;
    QPushButton* cancel_;
};

} // namespace velquist
