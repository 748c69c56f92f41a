// TForm3, the About box: the program's name and version and the way to its web site.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class DesktopServices;

// The maker's addresses.
inline constexpr char kWebSite[] = "https://zorvik.example/";
inline constexpr char kWebSiteText[] = "zorvik.example";
inline constexpr char kMail[] = "support@zorvik.example";

class TForm3 : public QDialog {
  Q_OBJECT

 public:
  TForm3(DesktopServices& desktop, QWidget* parent = nullptr);

  // Sets the title line, the program's name and version in English or in
  // Russian, in a font small enough to keep it on one line.
  void setTitleLine(bool english);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 public slots:
  void Image1Click();

 private:
  DesktopServices& desktop_;

 public:
  QLabel* Image1 = nullptr;
  QLabel* label19 = nullptr;
  QLineEdit* sEdit1 = nullptr;
  QLineEdit* sEdit2 = nullptr;
};
