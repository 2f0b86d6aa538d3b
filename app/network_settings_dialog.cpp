// SPDX-License-Identifier: Apache-2.0
#include "network_settings_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "i18n/lang_format.h"
#include "i18n/str_res.h"
#include "r730/network_change.h"
#include "standard_texts.h"
#include "util/text_fields.h"

namespace camlift::gui {
namespace {

QString Utf8(const std::string& text) { return QString::fromStdString(text); }

QString Lang(const char* key) { return Utf8(GetLangStrUtf8(key)); }

std::string Typed(const QLineEdit* field) { return field->text().toStdString(); }

}  // namespace

TfrmNetSettings::TfrmNetSettings(const TDevInfo& row, std::string user, std::string password,
                                 QWidget* parent)
    : QDialog(parent), row_(row), user_(std::move(user)), password_(std::move(password)) {
  setObjectName("frmNetSettings");
  setWindowTitle(Utf8(LangFormat(GetLangStrUtf8("IDS_NETTITLE"), {ShownText(row.DevID)})));
  const TNetworkFields fields = NetworkFieldsOf(row);
  auto* form = new QFormLayout;
  const auto field = [&](const char* name, const char* label_key, const std::string& text) {
    auto* edit = new QLineEdit(Utf8(text), this);
    edit->setObjectName(name);
    edit->setMaxLength(64);  // an address has 15 characters: no pasted page gets in whole
    form->addRow(Lang(label_key), edit);
    return edit;
  };
  edIP = field("edIP", "IDS_NETIP", fields.ip);
  edMask = field("edMask", "IDS_NETMASK", fields.netmask);
  edGateway = field("edGateway", "IDS_NETGATEWAY", fields.gateway);
  edDNS1 = field("edDNS1", "IDS_NETDNS1", fields.dns1);
  edDNS2 = field("edDNS2", "IDS_NETDNS2", fields.dns2);
  edPort = field("edPort", "IDS_NETPORT", fields.port);
  cbDHCP = new QCheckBox(Lang("IDS_NETDHCP"), this);
  cbDHCP->setObjectName("cbDHCP");
  cbDHCP->setChecked(fields.dhcp);
  lblProblem = new QLabel(this);
  lblProblem->setObjectName("lblProblem");
  lblProblem->setWordWrap(true);
  lblProblem->setTextFormat(Qt::PlainText);
  lblProblem->setStyleSheet("QLabel { color: #a00000; }");
  lblProblem->setVisible(false);
  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  NameStandardButtons(*buttons_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(cbDHCP);
  layout->addWidget(lblProblem);
  layout->addWidget(buttons_);

  connect(cbDHCP, &QCheckBox::toggled, this, [this] { DhcpToggled(); });
  // OK checks first; only the confirmation's Yes accepts the dialog.
  connect(buttons_, &QDialogButtonBox::accepted, this, [this] { OkClicked(); });
  connect(buttons_, &QDialogButtonBox::rejected, this, [this] { reject(); });
  DhcpToggled();
  edIP->setFocus();
}

void TfrmNetSettings::DhcpToggled() {
  // With DHCP the network gives the addresses; the port stays the camera's choice.
  const bool typed = !cbDHCP->isChecked();
  for (QLineEdit* edit : {edIP, edMask, edGateway, edDNS1, edDNS2}) edit->setEnabled(typed);
}

void TfrmNetSettings::OkClicked() {
  TNetworkFields fields;
  fields.ip = Typed(edIP);
  fields.netmask = Typed(edMask);
  fields.gateway = Typed(edGateway);
  fields.dns1 = Typed(edDNS1);
  fields.dns2 = Typed(edDNS2);
  fields.port = Typed(edPort);
  fields.dhcp = cbDHCP->isChecked();
  const TDevInfo wanted = WantedNetwork(row_, fields);
  const std::string problem = NetworkChangeProblem(wanted, user_, password_);
  lblProblem->setText(Lang(problem.c_str()));
  lblProblem->setVisible(!problem.empty());
  if (!problem.empty()) return;
  wanted_ = wanted;
  const std::string question = LangFormat(
      GetLangStrUtf8("IDS_NETCONFIRM"),
      {ShownText(row_.DevID), ShownText(row_.IPAddr) + ":" + std::to_string(row_.DevPort),
       NetworkAddressText(wanted)});
  // Opened, not run: the dialog stays responsive to the window's hand-offs meanwhile.
  // The language files break lines with CR LF; a message box wants LF alone.
  const QString text = Utf8(question).replace("\r\n", "\n");
  auto* box = new QMessageBox(QMessageBox::Question, Lang("IDS_CONFIRM"), text,
                              QMessageBox::Yes | QMessageBox::No, this);
  box->setObjectName("mbNetConfirm");
  box->setDefaultButton(QMessageBox::No);
  box->setAttribute(Qt::WA_DeleteOnClose);
  NameStandardButtons(*box);
  connect(box, &QMessageBox::finished, this, [this, box] {
    if (box->clickedButton() == box->button(QMessageBox::Yes)) accept();
  });
  confirm_ = box;
  box->open();
}

}  // namespace camlift::gui
