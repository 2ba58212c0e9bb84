import QtQuick

// A damped spring given as a response (the period of the undamped spring, in
// seconds) and a damping fraction (1 = critically damped). SpringAnimation
// steps a spring in 16 ms ticks (velocity += spring·offset − damping·velocity;
// position += velocity·0.016), so stiffness ω² and damping 2ζω per second
// become these per-tick factors.
SpringAnimation {
    property real response: 0.4
    property real dampingFraction: 0.8
    readonly property real omega: 2 * Math.PI / Math.max(response, 0.05)

    spring: 0.016 * omega * omega
    damping: Math.min(1, 0.016 * 2 * dampingFraction * omega)
    epsilon: 0.002
}
