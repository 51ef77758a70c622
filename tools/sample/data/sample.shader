// Shared by both stages.
#version 110
varying vec3 v_Position;
#vertexshader
void main()
{
    v_Position = gl_Vertex.xyz;
    gl_FrontColor = gl_Color;
    gl_Position = ftransform();
}
#fragmentshader
void main()
{
    float glow = 0.6 + 0.4 * sin(v_Position.y * 3.0);
    gl_FragColor = vec4(gl_Color.rgb * glow, gl_Color.a);
}
