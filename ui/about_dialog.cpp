#include "ui/about_dialog.h"

#include <QAbstractButton>

#include "res/resource.h"
#include "ui/dialog_builder.h"

CAboutDlg::CAboutDlg() : QDialog(nullptr) {
  create_dialog_controls(this, IDD_ABOUTBOX);
  if (auto* web_link = qobject_cast<QAbstractButton*>(dialog_item(this, IDC_WEB_LINK))) {
    connect(web_link, &QAbstractButton::clicked, this, &CAboutDlg::OnWebLink);
  }
}

int CAboutDlg::DoModal() { return exec(); }

void CAboutDlg::OnWebLink() {}
