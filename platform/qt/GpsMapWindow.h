#pragma once
#include <QDialog>

#include "gps/GpsMap.h"
#include "platform/qt/ImageMapCanvas.h"

class QLabel;
class QPushButton;

// The full-screen GPS map: the status line over the map area, the "Menu" button, the
// satellite count and the scale text under it. The map draws itself into the area's image;
// the window shows that image and forwards taps and menu choices to the map.
class GpsMapWindow : public QDialog {
  public:
    GpsMapWindow(GpsMap& map, QWidget* parent);
    ~GpsMapWindow() override;

    QLabel* statusLabel() const { return status_; }
    QLabel* satelliteLabel() const { return satellites_; }
    QLabel* scaleLabel() const { return scale_; }
    QPushButton* menuButton() const { return menu_; }
    QWidget* mapArea() const;
    const QImage& mapImage() const;

    // The map menu, then what its result asks.
    void RunMenu();

  protected:
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void done(int result) override;

  private:
    class Area;
    void showTexts();

    GpsMap& map_;
    QLabel* status_;
    Area* area_;
    QPushButton* menu_;
    QLabel* satellites_;
    QLabel* scale_;
};
