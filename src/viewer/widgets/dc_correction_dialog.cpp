#include "viewer/widgets/dc_correction_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>

#include <algorithm>

namespace vt {

TvtDcCorrectionDialog::TvtDcCorrectionDialog(int components, int32_t lastMCU, int32_t first, int32_t last,
                                             QWidget* parent)
    : QDialog(parent), first_(new QSpinBox(this)), last_(new QSpinBox(this)) {
  setWindowTitle(tr("DC Correction"));
  auto* form = new QFormLayout(this);
  for (QSpinBox* box : {first_, last_}) box->setRange(0, std::max(lastMCU, 0));
  first_->setValue(first);
  last_->setValue(last);
  form->addRow(tr("&First MCU:"), first_);
  form->addRow(tr("&Last MCU:"), last_);
  static const char* const kNames[4] = {"Component &1 (Y):", "Component &2 (Cb):", "Component &3 (Cr):",
                                        "Component &4:"};
  const int n = std::clamp(components, 1, 4);
  for (int c = 0; c < n; ++c) {
    shift_[c] = new QSpinBox(this);
    shift_[c]->setRange(-2047, 2047);
    form->addRow(n == 1 ? tr("&Grey:") : tr(kNames[c]), shift_[c]);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  form->addRow(buttons);
}

int32_t TvtDcCorrectionDialog::First() const { return std::min(first_->value(), last_->value()); }

int32_t TvtDcCorrectionDialog::Count() const { return std::abs(last_->value() - first_->value()) + 1; }

void TvtDcCorrectionDialog::Shift(int32_t shift[4]) const {
  for (int c = 0; c < 4; ++c) shift[c] = shift_[c] ? shift_[c]->value() : 0;
}

}  // namespace vt
