// Resource and control identifiers shared by the program, the Windows resource script and
// the Linux backend.
#pragma once

#define IDI_KINARO 101
#define IDM_KINARO 103
#define IDD_OPENFILE 103

// Menu 103.
#define IDM_GO_FORWARD 40002
#define IDM_GO_BACKWARD 40003
#define IDM_GO_CYCLE 40004
#define IDM_GO_LOOP 40005
#define IDM_GO_STOP 40007
#define IDM_GO_FASTER 40008
#define IDM_GO_SLOWER 40009
#define IDM_GO_EXIT 40010
#define IDM_STEP_FORWARD 40011
#define IDM_STEP_BACKWARD 40012
#define IDM_STEP_FIRST 40013
#define IDM_HELP_ABOUT 40014
#define IDM_HELP_CONTROLS 40015
#define IDM_HELP_OPTIONS 40016

// Open-file dialog template 103: our own controls.
#define IDC_MULTIPLE_COLORMAPS 1000
#define IDC_USE_BUFFERING 1001
#define IDC_OPEN_HELP 1004
