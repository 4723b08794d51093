# Edit memory sized, then loaded with unsigned 14-bit codes (0 to 16382) in a binary block,
# most significant byte first, copied to USER1 and chosen for output: the form of
# "DATA:DEFine EMEMory,<points>", "DATA:DATA EMEMory,<block>" and "DATA:COPY USER1,EMEMory".
name: DATA:DATA EMEM, 14-bit unsigned binary block
points: 2..131072
encoding: uint16be
codes: 0 16382
clear: *CLS
before: DATA:DEF EMEM,{count}
upload: DATA:DATA EMEM,{block}
after: DATA:COPY USER1,EMEM
after: SOUR1:FUNC:SHAP USER1
frequency: SOUR1:FREQ {frequency}
amplitude: SOUR1:VOLT:AMPL {amplitude}
offset: SOUR1:VOLT:OFFS {offset}
output-on: OUTP1:STAT ON
output-off: OUTP1:STAT OFF
check: SYST:ERR?
