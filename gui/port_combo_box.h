// The port drop-down: the list is filled again each time it opens, so a cable plugged in after
// start-up shows up.
#pragma once

#include <QComboBox>

class PortComboBox : public QComboBox {
  Q_OBJECT

 public:
  using QComboBox::QComboBox;

  void showPopup() override {
    emit aboutToShowPopup();
    QComboBox::showPopup();
  }

 signals:
  void aboutToShowPopup();
};
