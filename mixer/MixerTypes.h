#pragma once
// The records, constants and result codes of the audio mixer service, under their Windows
// multimedia names. Only the fields the mixer class sets or reads matter; the sizes the class
// writes into cbStruct stay the 32-bit ones (168, 152, 24) whatever sizeof says here.

#include <cstdint>

using MMRESULT = uint32_t;
using HMIXER = uint32_t;  // a mixer handle is a plain 32-bit number; 0 is no handle

// Result codes.
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MIXERR_INVALLINE = 1024;
constexpr MMRESULT MIXERR_INVALCONTROL = 1025;
constexpr MMRESULT MIXERR_INVALVALUE = 1026;

// Flags of the calls the class makes.
constexpr uint32_t CALLBACK_NULL = 0;
constexpr uint32_t MIXER_GETLINEINFOF_COMPONENTTYPE = 3;
constexpr uint32_t MIXER_GETLINECONTROLSF_ONEBYTYPE = 2;
constexpr uint32_t MIXER_GETCONTROLDETAILSF_VALUE = 0;
constexpr uint32_t MIXER_SETCONTROLDETAILSF_VALUE = 0;

// Line component types.
constexpr uint32_t MIXERLINE_COMPONENTTYPE_DST_SPEAKERS = 4;
constexpr uint32_t MIXERLINE_COMPONENTTYPE_DST_WAVEIN = 7;
constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_LINE = 0x1002;
constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE = 0x1003;
constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER = 0x1004;
constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC = 0x1005;
constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT = 0x1008;

// Control types.
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_VOLUME = 0x50030001;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_MUTE = 0x20010002;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_PEAKMETER = 0x10020001;

// The sizes the class writes into cbStruct and cbmxctrl.
constexpr uint32_t MIXERLINE_SIZE = 168;
constexpr uint32_t MIXERCONTROL_SIZE = 152;  // the published 148 bytes and 4 spare
constexpr uint32_t MIXERLINECONTROLS_SIZE = 24;
constexpr uint32_t MIXERCONTROLDETAILS_SIZE = 24;

constexpr int MIXER_SHORT_NAME_CHARS = 16;
constexpr int MIXER_LONG_NAME_CHARS = 64;
constexpr int MAXPNAMELEN = 32;

struct MIXERLINE {
    uint32_t cbStruct;
    uint32_t dwDestination;
    uint32_t dwSource;
    uint32_t dwLineID;
    uint32_t fdwLine;
    uint32_t dwUser;
    uint32_t dwComponentType;
    uint32_t cChannels;
    uint32_t cConnections;
    uint32_t cControls;
    char szShortName[MIXER_SHORT_NAME_CHARS];
    char szName[MIXER_LONG_NAME_CHARS];
    struct {
        uint32_t dwType;
        uint32_t dwDeviceID;
        uint16_t wMid;
        uint16_t wPid;
        uint32_t vDriverVersion;
        char szPname[MAXPNAMELEN];
    } Target;
};
static_assert(sizeof(MIXERLINE) == MIXERLINE_SIZE, "MIXERLINE keeps its 168-byte layout");

// MIXERCONTROL in its 152-byte form: the published record and 4 spare bytes.
struct MIXERCONTROL {
    uint32_t cbStruct;
    uint32_t dwControlID;
    uint32_t dwControlType;
    uint32_t fdwControl;
    uint32_t cMultipleItems;
    char szShortName[MIXER_SHORT_NAME_CHARS];
    char szName[MIXER_LONG_NAME_CHARS];
    struct {
        int32_t lMinimum;
        int32_t lMaximum;
        uint32_t dwReserved[4];
    } Bounds;
    struct {
        uint32_t cSteps;
        uint32_t dwReserved[5];
    } Metrics;
    uint32_t dwSpare;
};
static_assert(sizeof(MIXERCONTROL) == MIXERCONTROL_SIZE, "MIXERCONTROL keeps its 152 bytes");

struct MIXERLINECONTROLS {
    uint32_t cbStruct;
    uint32_t dwLineID;
    uint32_t dwControlType;  // dwControlID shares this place in the Windows record
    uint32_t cControls;
    uint32_t cbmxctrl;
    MIXERCONTROL* pamxctrl;
};

struct MIXERCONTROLDETAILS {
    uint32_t cbStruct;
    uint32_t dwControlID;
    uint32_t cChannels;
    uint32_t cMultipleItems;
    uint32_t cbDetails;
    void* paDetails;
};

// 16-bit booleans of the class's interface: True is -1, False is 0.
using VBBool = int16_t;
constexpr VBBool VB_TRUE = -1;
constexpr VBBool VB_FALSE = 0;
