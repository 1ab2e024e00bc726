#pragma once

#include "dfu/dfuoutput.h"

#include <QMetaType>
#include <QString>

// How far one upgrade run is, from the click to the verdict: the stage it is
// in, how far within that stage, and the bar's value and text. Every stage
// has a band of its own on the bar, in the order a run passes them (one
// weight table), so the bar only rises and every stage moves it; a stage a
// run leaves out is passed over.
struct RunProgress
{
    enum class Stage
    {
        Scan,
        Download,
        Verify,  // the image's digest, and the wait before the flash
        Connect, // the tool opens the device
        Erase,
        Write,
        ReadBack,
        Leave,
        Done,
    };

    Stage stage = Stage::Scan;
    int percent = 0; // within the stage
    int value = 0;   // of the whole bar, 0 to 100
    QString text;

    // Where the stage's percent lies on the bar.
    static int barValue(Stage stage, int percent);
    // The run's stage that a part of the tool's flash is.
    static Stage ofTool(ToolStage stage);
};

Q_DECLARE_METATYPE(RunProgress)
