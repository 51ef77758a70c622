// Catalogue models arrive with positions only: the texture is wrapped around the model's
// vertical axis from its own coordinates, and the light comes from each facet's slope.
#version 110
varying vec3 v_Model;
varying vec3 v_Eye;
#vertexshader
void main()
{
    v_Model = gl_Vertex.xyz;
    v_Eye = (gl_ModelViewMatrix * gl_Vertex).xyz;
    gl_FrontColor = gl_Color;
    gl_Position = ftransform();
}
#fragmentshader
uniform sampler2D u_Texture;
void main()
{
    vec3 normal = normalize(cross(dFdx(v_Eye), dFdy(v_Eye)));
    if (normal.z < 0.0)
        normal = -normal;
    float diffuse = max(dot(normal, normalize(vec3(-0.4, 0.6, 0.7))), 0.0);
    float rim = pow(1.0 - normal.z, 3.0);
    vec2 uv = vec2(atan(v_Model.z, v_Model.x) * 0.477, v_Model.y * 0.15);
    vec4 texel = texture2D(u_Texture, uv);
    vec3 colour = gl_Color.rgb * texel.rgb * (0.35 + 0.9 * diffuse) + vec3(0.35 * rim);
    gl_FragColor = vec4(colour, gl_Color.a * (0.4 + 0.6 * texel.a));
}
