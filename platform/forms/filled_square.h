// A filled square shape: a control that paints its area in one colour.
#pragma once

#include <QWidget>
#include <cstdint>

class FilledSquare : public QWidget {
  public:
    explicit FilledSquare(std::uint32_t fillColor, QWidget* parent = nullptr);
    std::uint32_t FillColor() const { return fillColor_; }
    // Repaints only when the colour changes.
    void SetFillColor(std::uint32_t bgr);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::uint32_t fillColor_;
};
