// Edit > DC Correction...: the run of MCUs (first and last index, the decoded run at the cursor
// to begin with) and, per component of the scan, the constant in DC steps to add to it. The
// manual form of the colour fix that the automatic realignment makes.
#pragma once

#include <QDialog>
#include <cstdint>

class QSpinBox;

namespace vt {

class TvtDcCorrectionDialog : public QDialog {
 public:
  // components: the scan's component count (1 to 4); lastMCU: the grid's last MCU index.
  TvtDcCorrectionDialog(int components, int32_t lastMCU, int32_t first, int32_t last, QWidget* parent = nullptr);
  int32_t First() const;
  int32_t Count() const;
  // The constants, 0 for the components the scan does not have.
  void Shift(int32_t shift[4]) const;
  QSpinBox* FirstBox() const { return first_; }
  QSpinBox* LastBox() const { return last_; }
  QSpinBox* ShiftBox(int component) const { return shift_[component]; }

 private:
  QSpinBox* first_;
  QSpinBox* last_;
  QSpinBox* shift_[4] = {};
};

}  // namespace vt
