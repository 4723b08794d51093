# Volatile memory loaded with unsigned 14-bit DAC codes (0 to 16383) as text: the form of
# ":DATA:DAC VOLATILE,<value>,<value>,..." whose instrument then outputs the volatile
# waveform by itself. Some of its instruments take no fewer than 8 points.
name: DATA:DAC VOLATILE, 14-bit unsigned values
points: 8..16384
encoding: ascii
codes: 0 16383
clear: *CLS
upload: :DATA:DAC VOLATILE,{values}
frequency: FREQ {frequency}
amplitude: VOLT {amplitude}
offset: VOLT:OFFS {offset}
output-on: OUTP ON
output-off: OUTP OFF
check: SYST:ERR?
