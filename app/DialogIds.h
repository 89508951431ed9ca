#pragma once

#include "platform/WinTypes.h"

// The controls of the main dialog (resource 102) by id, as its layout names
// them: the dialog's handlers, its layout rule and its tests use these.
struct SonderikDlgIds {
    enum : int {
        IDC_QUIT = 2,
        IDC_MINOR = 3,
        IDC_MAJOR = 4,
        IDC_TRILL = 5,
        IDC_ID = 6,
        IDC_NOTE = 7,
        IDC_MIDIPARAMS = 1000,
        IDC_MIDIIN_LABEL = 1001,
        IDC_DEVICENO_LABEL = 1003,
        IDC_MIDIIN = 1004,
        IDC_MIDIOUT = 1005,
        IDC_DEVICENO = 1006,
        IDC_DEVICENO_SPIN = 1007,
        IDC_INSTRUMENT_LABEL = 1008,
        IDC_INSTRUMENT = 1009,
        IDC_TREE = 1010,
        IDC_MIDIOUT_LABEL = 1011,
        IDC_SYSEXDELAY_LABEL = 1012,
        IDC_SYSEXDELAY = 1013,
        IDC_SYSEXDELAY_SPIN = 1014,
        IDC_MIDIDELAY_LABEL = 1015,
        IDC_MIDIDELAY = 1016,
        IDC_MIDIDELAY_SPIN = 1017,
        IDC_IDENTDONE = 1018,
        IDC_FILES_GROUP = 1019,
        IDC_SENDDONE = 1020,
        IDC_PATH = 1021,
        IDC_FILES = 1022,
        IDC_VOICES = 1023,
        IDC_AUDITION_GROUP = 1024,
        IDC_SETTINGS_GROUP = 1025,
        IDC_CATORDER = 1026,
        IDC_SHOWINITS = 1027,
        IDC_ONTOP = 1028,
        IDC_STATUS = 1029,
        IDC_SEARCH = 1030,
    };
    // The commands of the pop-up menus: the dialog's own and the voice list's.
    enum : UINT {
        IDM_ABOUTBOX = 0x0010,
        ID_VOICE_SEND = 32771,
        ID_VOICE_EXPORT = 32772,
    };
    // What the dialog posts to itself: the end it put off until a job's
    // thread was let go.
    enum : UINT {
        kEndMessage = 0x8010,
    };
};
