#pragma once

class QWidget;

// Shows a top-level window to assistive technology as a frame named by its title, as a screen reader
// announces an application window; a plain QWidget window would reach the accessibility bus as an
// unnamed "filler" panel. Called by the window's constructor, before it is shown.
void presentAsFrame(QWidget* window);
