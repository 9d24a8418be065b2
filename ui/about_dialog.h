#pragma once

#include <QDialog>

// The About box: the icon, the version, the maker and a web address that
// does nothing when clicked. OK, Enter and Esc close it. It has no parent
// window.
class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  CAboutDlg();

  // Runs the box modally until it closes.
  int DoModal();

  // Clicking the web address: does nothing.
  void OnWebLink();
};
