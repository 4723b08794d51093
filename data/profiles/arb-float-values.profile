# A named arbitrary waveform of values from -1 to +1 as text, then chosen for output: the
# form of "[SOURce:]DATA:ARBitrary <name>, <value>, <value>, ...".
name: DATA:ARB name, values -1 to +1
points: 8..65536
encoding: ascii
clear: *CLS
before: SOUR1:DATA:VOL:CLE
upload: SOUR1:DATA:ARB {name},{values}
after: SOUR1:FUNC:ARB {name}
after: SOUR1:FUNC ARB
frequency: SOUR1:FUNC:ARB:SRAT {rate}
amplitude: SOUR1:VOLT {amplitude}
offset: SOUR1:VOLT:OFFS {offset}
output-on: OUTP1 ON
output-off: OUTP1 OFF
check: SYST:ERR?
