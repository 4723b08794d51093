#pragma once

#include "model/document.h"
#include "prompts.h"

#include <QSize>
#include <functional>
#include <vector>

class QPainter;

class QWidget;

namespace ww {

// File > Import…: asks for a file, reads it (with a progress dialog when that takes long),
// shows it in the import dialog and takes it as one change of the document; a file that
// cannot come in gets one message and changes nothing.
void importWaveform(Prompts& prompts, WaveDocument& document, QWidget* parent);
// The same for a file already chosen (dropped on the window, or named on the command line).
void importFile(Prompts& prompts, WaveDocument& document, const QString& name, QWidget* parent);
// The samples an import brings, as the waveform and its length.
void takeImport(WaveDocument& document, const std::vector<float>& samples);
// File > Export…: CSV, WAV at a rate asked for, or a PNG or SVG picture at a size asked for,
// each written whole or not at all, with Save's failure message.
// A name given without an extension takes the chosen filter's.
void exportWaveform(Prompts& prompts, const WaveStore& store);
// The picture formats (PNG, SVG) join the file formats: they need the window's libraries.
void addPictureFormats();
// Asks for a PNG or SVG name and writes there what `draw` paints at `size`, whole or not at
// all, with Save's failure message over `owner`. A name without an extension takes the chosen
// filter's.
void exportPainting(Prompts& prompts, QWidget* owner, QSize size,
                    const std::function<void(QPainter&)>& draw);

} // namespace ww
