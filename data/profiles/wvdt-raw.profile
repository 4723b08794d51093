# A named waveform of 16-bit signed codes (-32767 to +32767), least significant byte first,
# as raw bytes after the keyword WAVEDATA (no block header), then chosen for output: the
# form of "C1:WVDT WVNM,<name>,WAVEDATA,<data>" and "C1:ARWV NAME,<name>". The raw bytes
# end with the message: best over USB (usbtmc://), where each line is one message. Its
# instruments keep no error queue that every model answers, so nothing is asked: the upload
# is done when the instrument has taken every byte.
name: WVDT WAVEDATA, 16-bit signed raw bytes
points: 8..16384
encoding: int16le
codes: -32767 32767
clear: none
upload: C1:WVDT WVNM,{name},WAVEDATA,{raw}
after: C1:ARWV NAME,{name}
frequency: C1:BSWV FRQ,{frequency}
amplitude: C1:BSWV AMP,{amplitude}
offset: C1:BSWV OFST,{offset}
output-on: C1:OUTP ON
output-off: C1:OUTP OFF
