#include "app/ButtonMenus.h"

#include "app/DialogMenuTimes.h"

// ---------------------------------------------------------------- viewing

void DialogMenuFiles::BuildCaptions() {
    ShowAll({"Prev File", "Time Res", "Next File", "Screen Left", "Call Right", "Screen Right",
             "Truetime", "Compressed", "AllFile", "Main Menu"});
}

DialogMenuTemplate::Press DialogMenuFiles::OnSlot(int32_t slot) {
    if (slot == 2) {
        DialogMenuTimes times(runner(), DialogMenuTimes::kFromFiles, allFileMode_);
        RunChild(times);
        result_ = times.Command();
        return Press::Close;
    }
    if (slot == 11) {
        DialogMenuMain main(runner(), gpsConnected_);
        result_ = RunChild(main);
        return Press::Close;
    }
    return DialogMenuTemplate::OnSlot(slot);
}

// ---------------------------------------------------------------- main menu and its subs

void DialogMenuMain::BuildCaptions() {
    ShowAll({"File", "", "Options", "Record", "", "GPS", "Tools", "", "", ""});
}

DialogMenuTemplate::Press DialogMenuMain::OnSlot(int32_t slot) {
    int32_t sub = 0;
    switch (slot) {
        case 1: {
            DialogMenuFileMenu menu(runner());
            sub = RunChild(menu);
            break;
        }
        case 3: {
            DialogMenuOptsMenu menu(runner());
            sub = RunChild(menu);
            break;
        }
        case 4: {
            DialogMenuRecMenu menu(runner());
            sub = RunChild(menu);
            break;
        }
        case 6: {
            DialogMenuGPSMenu menu(runner(), gpsConnected_);
            sub = RunChild(menu);
            break;
        }
        case 7: {
            DialogMenuToolsMenu menu(runner());
            sub = RunChild(menu);
            break;
        }
        default:
            return DialogMenuTemplate::OnSlot(slot);
    }
    result_ = 16 * slot + sub;
    return Press::Close;
}

void DialogMenuFileMenu::BuildCaptions() {
    ShowAll({"Open File", "Previous", "Next", "", "First", "Last", "Ver", "", "Exit", ""});
}

void DialogMenuOptsMenu::BuildCaptions() {
    ShowAll({"Freq", "", "Record", "Display", "", "Path", "", "", "", ""});
}

void DialogMenuRecMenu::BuildCaptions() {
    ShowAll({"Record", "", "Monitor", "Save", "", "Stop", "Choose Port", "", "", ""});
}

void DialogMenuGPSMenu::BuildCaptions() {
    ShowAll({connected_ ? "Disconnect" : "Connect", "", "Set Clock", "Settings", "", "New File",
             "Map", "", "", ""});
}

void DialogMenuToolsMenu::BuildCaptions() {
    ShowAll({"Serial Test", "", "", "", "", "", "", "", "", ""});
}

// ---------------------------------------------------------------- recording

void DialogMenuRecord::BuildCaptions() {
    ShowAll({"Freq Res", "Time Res", "Stop Rec", "", "", "", "", "", "", ""});
    Show(4, "Go to GPS Map", 2, 3);
}

DialogMenuTemplate::Press DialogMenuRecord::OnSlot(int32_t slot) {
    if (slot == 1) {
        int32_t low = fMin_ / 1000000;
        int32_t high = fMax_ / 1000000;
        // Cancelled, the menu stays: the user is still choosing.
        if (!dialog_ || !dialog_(low, high)) return Press::Stay;
        fMin_ = low * 1000000;
        fMax_ = high * 1000000;
        result_ = 1;
        return Press::Close;
    }
    if (slot == 2) {
        DialogMenuTimes times(runner(), DialogMenuTimes::kFromRecord, false);
        RunChild(times);
        result_ = times.Command();
        return Press::Close;
    }
    return DialogMenuTemplate::OnSlot(slot);
}

// ---------------------------------------------------------------- GPS map

void DialogMenuGPSMap::BuildCaptions() {
    ShowAll({"Resolution", "", "Colours", "", "", "", "", "", "", ""});
    Show(4, "Go to Main Screen", 2, 3);
}

DialogMenuTemplate::Press DialogMenuGPSMap::OnSlot(int32_t slot) {
    if (slot == 1) {
        DialogMenuGPSRes resolution(runner(), mapScale_);
        result_ = 100 + RunChild(resolution);
        return Press::Close;
    }
    if (slot == 3) {
        if (coloursDialog_) coloursDialog_();
        return Press::Close;
    }
    return DialogMenuTemplate::OnSlot(slot);
}

void DialogMenuGPSRes::BuildCaptions() {
    ShowAll({"100m", "200m", "500m", "1km", "2km", "5km", "10km", "20km", "50km", "All"});
}

int32_t DialogMenuGPSRes::PresetSlot(int32_t mapScale) {
    switch (mapScale / 10) {
        case 0:
            return 11;
        case 100:
            return 1;
        case 200:
            return 2;
        case 500:
            return 3;
        case 1000:
            return 4;
        case 2000:
            return 5;
        case 5000:
            return 6;
        case 10000:
            return 7;
        case 20000:
            return 8;
        case 50000:
            return 9;
        default:
            return 12;
    }
}
