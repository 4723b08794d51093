# Volatile memory loaded with unsigned 16-bit words holding 14-bit codes (0 to 16383) in a
# binary block, least significant byte first, as the last packet of the trace: the form of
# ":SOURce1:TRACe:DATA:DAC16 VOLATILE,END,<block>", which the instrument then outputs.
name: TRAC:DATA:DAC16 VOLATILE, 14-bit unsigned binary block
points: 8..16384
encoding: uint16le
codes: 0 16383
clear: *CLS
upload: :SOUR1:TRAC:DATA:DAC16 VOLATILE,END,{block}
frequency: :SOUR1:FREQ {frequency}
amplitude: :SOUR1:VOLT {amplitude}
offset: :SOUR1:VOLT:OFFS {offset}
output-on: :OUTP1 ON
output-off: :OUTP1 OFF
check: :SYST:ERR?
