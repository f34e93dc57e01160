#pragma once

class GpsViewCommands;
class QMenuBar;

// The menu bar's "GPS" menu: Connect / Disconnect, Set Clock, Settings, New File and Map,
// each enabled and named as the commands say whenever the menu opens.
void AddGpsMenu(QMenuBar& bar, GpsViewCommands& gps);
