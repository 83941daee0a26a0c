/* The dialogs' template and control ids, in one place for the templates and
   for the code and tests that drive the dialogs. Plain preprocessor text, so
   that windres can include it. */
#ifndef VARDELKIST_UI_DIALOG_IDS_H
#define VARDELKIST_UI_DIALOG_IDS_H

#define ABOUT_DIALOG_ID 101
#define PARAMETER_DIALOG_ID 102

/* The about box; its template is the extended form, with 32-bit ids. */
#define ABOUT_TEXT_CONTROL 1001L

/* The parameter dialog; OK and Cancel are IDOK (1) and IDCANCEL (2). The
   preview and its zoom controls stay hidden. */
#define ZOOM_IN_BUTTON 1002
#define ZOOM_OUT_BUTTON 1003
#define PREVIEW_CONTROL 1007
#define ZOOM_LABEL 1008
#define OPTIONS_GROUP 1009
#define SHIFT_LABEL 1010
#define SHIFT_EDIT 1011
#define SHIFT_SLIDER 1012
#define SPIRAL_BUTTON 1016
#define NORMAL_BUTTON 1017
#define LAYOUT_LABEL 1018

#endif
