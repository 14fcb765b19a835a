// Standard output as the program writes it. What the program prints there
// (file paths, the index, the layer list) is its product, so a write that
// fails, now or when the output is closed, fails the program, as careful
// command-line tools do.
#pragma once

#include <QIODevice>
#include <QString>

namespace bramlotte::cli {

// Writes straight to the standard output descriptor, unbuffered, and keeps
// the cause of the first write that failed.
class StandardOutput : public QIODevice {
  public:
    StandardOutput();
    // Flushes what the C library holds for standard output and closes it:
    // nothing may be written after. Returns the cause of the first failure,
    // or an empty string when everything written reached its destination.
    QString finish();

  protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

  private:
    int error_ = 0;
};

}  // namespace bramlotte::cli
