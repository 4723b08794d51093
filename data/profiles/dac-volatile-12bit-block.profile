# Volatile memory loaded with 12-bit signed DAC codes (-2047 to +2047) in a binary block,
# least significant byte first, then chosen as the user waveform: the form of
# "DATA:DAC VOLATILE, <block>" on the instruments whose DAC has 12 bits. Their output is
# always on: there is no line to switch it.
name: DATA:DAC VOLATILE, 12-bit signed binary block
points: 8..16000
encoding: int16le
codes: -2047 2047
clear: *CLS
before: FORM:BORD SWAP
upload: DATA:DAC VOLATILE, {block}
after: FUNC:USER VOLATILE
after: FUNC USER
frequency: FREQ {frequency}
amplitude: VOLT {amplitude}
offset: VOLT:OFFS {offset}
check: SYST:ERR?
