# A named arbitrary waveform of 16-bit signed DAC codes in a binary block, the bytes
# least significant first, then chosen for output. The form of the public programming
# manuals' "[SOURce:]DATA:ARBitrary:DAC <name>, <block>" command; the frequency as the
# arbitrary waveform's sample rate, "[SOURce:]FUNCtion:ARBitrary:SRATe".
name: DATA:ARB:DAC name, 16-bit signed binary block
points: 8..65536
encoding: int16le
codes: -32767 32767
clear: *CLS
before: FORM:BORD SWAP
before: SOUR1:DATA:VOL:CLE
upload: SOUR1:DATA:ARB:DAC {name},{block}
after: SOUR1:FUNC:ARB {name}
after: SOUR1:FUNC ARB
frequency: SOUR1:FUNC:ARB:SRAT {rate}
amplitude: SOUR1:VOLT {amplitude}
offset: SOUR1:VOLT:OFFS {offset}
output-on: OUTP1 ON
output-off: OUTP1 OFF
check: SYST:ERR?
