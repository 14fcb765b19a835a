// The help window: the maker's artwork and four links, opened with the
// user's default programs.
#pragma once

#include "support/desktop/host_frame.h"

#include <QLabel>
#include <QWidget>

#include <memory>

namespace bramlotte::support {

// The maker's addresses.
extern const QString kWebAddress;
extern const QString kInfoEmail;
extern const QString kForumAddress;
// The product page of the product named `productName`.
QString productPageAddress(const QString& productName);

// A label that reports clicks.
class LinkLabel : public QLabel {
    Q_OBJECT
  public:
    using QLabel::QLabel;
  signals:
    void clicked();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class frmHelp : public QWidget {
    Q_OBJECT
  public:
    explicit frmHelp(QWidget* parent = nullptr);
    ~frmHelp() override;

    // The window's host frame, created and captioned on first use.
    HostFrame* Frame();

    QWidget* Frame1;
    LinkLabel* Label2;
    LinkLabel* Label3;
    LinkLabel* Label4;
    LinkLabel* Label5;

  public slots:
    void Form_Load();
    void Label2_Click();
    void Label3_Click();
    void Label4_Click();
    void Label5_Click();
    void btnCloseHelp_Click();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::unique_ptr<HostFrame> frame_;
};

}  // namespace bramlotte::support
