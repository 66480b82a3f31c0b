NAME          LPDCMP1                                                           
ROWS                                                                            
 N  OBJ                                                                         
 E  E0
 E  E1
 E  E2
 E  E3
 E  E4
 E  E5
 E  E6
 E  E7
 E  E8
 E  E9
 E  E10
 L  L0
 L  L1
 L  L2
COLUMNS
    INT1      'MARKER'                 'INTORG'
    X100002   E10       1
    X100002   E2        1
    X100002   L0        2
    X100002   OBJ       -0.03125
    X100003   E2        1
    X100003   OBJ       1.0000
    X100004   E10       -1
    X100005   L2        1
    X100007   L0        -1
    X100007   L1        -1
    X100007   OBJ       -1.0000
    X100008   L1        1
    X100008   OBJ       0.5000
    X100020   E0        1
    X100021   E1        1
    X100023   E3        1
    X100024   E4        1
    X100025   E5        1
    X100026   E6        1
    X100027   E7        1
    X100028   E8        1
    X100029   E9        1
    INT1END   'MARKER'                 'INTEND'
RHS
    RHS001    E0        1
    RHS001    E1        1
    RHS001    E2        1
    RHS001    E3        1
    RHS001    E4        1
    RHS001    E5        1
    RHS001    E6        1
    RHS001    E7        1
    RHS001    E8        1
    RHS001    E9        1
    RHS001    E10        0
    RHS001    L0        1
    RHS001    L1        0
    RHS001    L2        -1
BOUNDS
 LO BND1      X100002   0
 UP BND1      X100002   1
 LO BND1      X100003   0
 UP BND1      X100003   1
 LO BND1      X100004   0
 UP BND1      X100004   1
 LO BND1      X100005   0
 UP BND1      X100005   1
 LO BND1      X100007   0
 UP BND1      X100007   1
 LO BND1      X100008   0
 UP BND1      X100008   1
 LO BND1      X100020   0
 UP BND1      X100020   1
 LO BND1      X100021   0
 UP BND1      X100021   1
 LO BND1      X100023   0
 UP BND1      X100023   1
 LO BND1      X100024   0
 UP BND1      X100024   1
 LO BND1      X100025   0
 UP BND1      X100025   1
 LO BND1      X100026   0
 UP BND1      X100026   1
 LO BND1      X100027   0
 UP BND1      X100027   1
 LO BND1      X100028   0
 UP BND1      X100028   1
 LO BND1      X100029   0
 UP BND1      X100029   1
ENDATA
