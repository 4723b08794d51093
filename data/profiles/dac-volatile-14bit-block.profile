# Volatile memory loaded with 14-bit signed DAC codes (-8191 to +8191) in a binary block,
# least significant byte first, then chosen as the user waveform: the form of
# "DATA:DAC VOLATILE, <block>" with "FORM:BORD SWAP" and "FUNC:USER VOLATILE"; the
# frequency is the waveform's repetition rate, "FREQ".
name: DATA:DAC VOLATILE, 14-bit signed binary block
points: 2..65536
encoding: int16le
codes: -8191 8191
clear: *CLS
before: FORM:BORD SWAP
upload: DATA:DAC VOLATILE, {block}
after: FUNC:USER VOLATILE
after: FUNC USER
frequency: FREQ {frequency}
amplitude: VOLT {amplitude}
offset: VOLT:OFFS {offset}
output-on: OUTP ON
output-off: OUTP OFF
check: SYST:ERR?
